#include "app/cache/UsageStore.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace {

const long long Now = 1765000000, Month = 30LL * 24 * 3600;

} // namespace

TEST(UsageStore, KeepsCountsOrderedByUseAndRecencyAddsOtherInstancesAndStaysBounded) {
    TempFolder folder(L"usage");
    std::wstring file = folder.Path() + L"\\usage.sql";
    UsageStore first, second;
    ASSERT_TRUE(first.Open(file.c_str()) && second.Open(file.c_str()));
    for (int i = 0; i < 5; i++)
        first.Count(L"Old\\Often.lnk", Now - 12 * Month);
    first.Count(L"Once.lnk", Now);
    first.Count(L"Ancient.lnk", Now - 40 * Month);
    for (int i = 0; i < 3; i++)
        second.Count(L"Lately.lnk", Now);
    // Both instances counted one start each of the same entry: the file keeps both.
    first.Count(L"Shared.lnk", Now);
    second.Count(L"Shared.lnk", Now);
    ASSERT_TRUE(first.Write(Now) && second.Write(Now));

    UsageStore read;
    ASSERT_TRUE(read.Open(file.c_str()));
    EXPECT_EQ((std::vector<std::wstring>{L"Lately.lnk", L"Shared.lnk", L"Once.lnk", L"Old\\Often.lnk"}),
              read.Top(10, Now))
        << "an entry started once more than three years ago ages out";
    EXPECT_DOUBLE_EQ(2.0, read.Score(L"Shared.lnk", Now));

    for (size_t i = 0; i < UsageStore::MaxEntries + 10; i++)
        read.Count(L"Entry " + std::to_wstring(i) + L".lnk", Now);
    ASSERT_TRUE(read.Write(Now));
    UsageStore bounded;
    ASSERT_TRUE(bounded.Open(file.c_str()));
    EXPECT_EQ(UsageStore::MaxEntries, bounded.Size());
    EXPECT_GT(bounded.Score(L"Lately.lnk", Now), 2.9) << "the most used stays";
}

TEST(UsageStore, AFileThatIsNoDatabaseIsSetAsideAndCountingStartsAgain) {
    TempFolder folder(L"usage-damaged");
    std::wstring file = folder.Path() + L"\\usage.sql";
    FILE* damaged = _wfopen(file.c_str(), L"wb");
    ASSERT_NE(nullptr, damaged);
    fputs("not a database, and long enough to look like a header of one...............", damaged);
    fclose(damaged);
    UsageStore store;
    ASSERT_TRUE(store.Open(file.c_str()));
    EXPECT_EQ(0u, store.Size());
    store.Count(L"Notepad.lnk", Now);
    ASSERT_TRUE(store.Write(Now));
    UsageStore again;
    ASSERT_TRUE(again.Open(file.c_str()));
    EXPECT_EQ(std::vector<std::wstring>{L"Notepad.lnk"}, again.Top(5, Now));
}
