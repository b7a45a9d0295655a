#include "app/cache/AppCatalogue.h"
#include "app/cache/IconCache.h"
#include "app/tree/MenuNode.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Listed(const std::vector<PackagedApp>& apps) {
    std::vector<std::wstring> listed;
    for (const PackagedApp& app : apps)
        listed.push_back(std::wstring(app.id.Buffer()) + L"|" + app.name.Buffer() + L"|" + std::to_wstring(app.stamp) +
                         L"|" + (app.folder.IsEmpty() ? L"" : app.folder.Buffer()));
    return listed;
}

PackagedApp App(const wchar_t* id, const wchar_t* name, unsigned stamp, const std::wstring& folder = L"") {
    PackagedApp app;
    app.id.Assign(id);
    app.name.Assign(name);
    app.stamp = stamp;
    app.folder.Assign(folder.c_str());
    return app;
}

} // namespace

TEST(AppCatalogue, KeepsTheLastListOfAppsInTheCacheBesideTheRowsOfTheMenu) {
    TempFolder folder{L"AppCatalogue"};
    IconCache cache;
    ASSERT_TRUE(
        cache.Open((folder.Path() + L"\\Veltrix.sql").c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL) &&
        cache.EnsureSchema());
    std::vector<PackagedApp> read = {App(L"stale", L"Stale", 1)};
    EXPECT_TRUE(AppCatalogue::Read(cache, read));
    EXPECT_TRUE(read.empty()) << "a new cache has no apps";

    // The menu's row of an app (its name and icon) is another row, which a new list leaves alone.
    const std::vector<unsigned char> icon = {1, 2, 3};
    ASSERT_TRUE(cache.BeginWrite() && cache.WriteEntry(L"Calc!App", NODE_ITEM | NODE_APP, 7, L"Calculator", icon) &&
                cache.EndWrite());
    const std::vector<PackagedApp> first = {App(L"Calc!App", L"Calculator", 7, folder.Path()),
                                            App(L"Paint!App", L"Paint", 0xFFFFFFFF)},
                                   second = {App(L"Terminal!App", L"Terminal", 9)};
    for (const std::vector<PackagedApp>& apps : {first, second}) {
        ASSERT_TRUE(AppCatalogue::Write(cache, apps));
        ASSERT_TRUE(AppCatalogue::Read(cache, read));
        EXPECT_EQ(Listed(apps), Listed(read)) << "replaced as a whole, in order, stamps unsigned";
    }
    // An app whose package's folder has gone since (it was removed) is not read back.
    ASSERT_TRUE(AppCatalogue::Write(cache, {App(L"Gone!App", L"Gone", 1, folder.Path() + L"\\gone"), first[0]}));
    ASSERT_TRUE(AppCatalogue::Read(cache, read));
    EXPECT_EQ(Listed({first[0]}), Listed(read));
    WString name;
    std::vector<unsigned char> blob;
    EXPECT_TRUE(cache.LookupEntry(L"Calc!App", NODE_ITEM | NODE_APP, 7, name, blob));
    EXPECT_EQ(icon, blob);
}
