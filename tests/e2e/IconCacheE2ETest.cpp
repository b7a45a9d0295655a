// The icon cache as the real program leaves it: Veltrix.sql in the user's temporary folder.
#include "VeltrixProcess.h"

#include "Shortcut.h"
#include "TempFolder.h"
#include "app/IconCache.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::wstring CacheFile() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"Veltrix.sql";
}

unsigned WriteStamp(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime.dwLowDateTime + data.ftLastWriteTime.dwHighDateTime;
}

struct Row {
    unsigned flags = 0;
    unsigned hash = 0;
    std::wstring name;
    size_t iconBytes = 0;
};

// Every row of the cache file, by path.
std::map<std::wstring, Row> ReadRows() {
    std::map<std::wstring, Row> rows;
    IconCache cache;
    if (!cache.Open(CacheFile().c_str(), 0, 0))
        return rows;
    CacheCursor* cursor = nullptr;
    if (cache.Execute(L"SELECT path, flags, hash, name, icon FROM cache ORDER BY path;", &cursor) && cursor) {
        while (cursor->HasRow()) {
            WString path, flags, hash, name;
            std::vector<unsigned char> icon;
            cursor->GetText(0, path);
            cursor->GetText(1, flags);
            cursor->GetText(2, hash);
            cursor->GetText(3, name);
            cursor->GetBlob(4, icon);
            Row row;
            row.flags = (unsigned)wcstoul(flags.Buffer(), nullptr, 10);
            row.hash = (unsigned)wcstoul(hash.Buffer(), nullptr, 10);
            row.name = name.Buffer();
            row.iconBytes = icon.size();
            rows[path.Buffer()] = row;
            if (!cursor->Step())
                break;
        }
        cache.ReleaseCursor(cursor);
    }
    return rows;
}

} // namespace

class IconCacheE2E : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        DeleteFileW(CacheFile().c_str());
        marker = VeltrixProcess::ProgramFolder() + L"marker.exe";
        ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Alpha.lnk", marker));
        root.Folder(L"Tools");
        ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Tools\\O'Brien's Tool.lnk", marker));
    }
    void TearDown() override {
        DeleteFileW(CacheFile().c_str());
        CoUninitialize();
    }
    // One once-mode run that shows the menu and is dismissed; the menu's items are returned.
    std::vector<std::wstring> RunOnce() {
        VeltrixProcess veltrix;
        if (!veltrix.Start(L"-r \"" + root.Path() + L"\""))
            return {};
        HWND popup = veltrix.WaitForMenu(15000);
        std::vector<std::wstring> items = popup ? VeltrixProcess::MenuItems(popup) : std::vector<std::wstring>();
        VeltrixProcess::PressKey(VK_ESCAPE);
        EXPECT_TRUE(veltrix.WaitForExit(10000));
        return items;
    }

    TempFolder root{L"e2e-cache"};
    std::wstring marker;
};

TEST_F(IconCacheE2E, ExitWritesOneRowPerEntryAndTheNextRunReadsThem) {
    RunOnce();
    std::map<std::wstring, Row> rows = ReadRows();
    ASSERT_EQ(2u, rows.size()) << "one row per entry with an icon";
    const Row& alpha = rows[L"Alpha.lnk"];
    EXPECT_EQ(129u, alpha.flags) << "an entry of the custom root";
    EXPECT_EQ(WriteStamp(root.Path() + L"\\Alpha.lnk"), alpha.hash);
    EXPECT_EQ(1150u, alpha.iconBytes) << "one 16 x 16 image with 32-bit colour";
    const Row& tool = rows[L"Tools\\O'Brien's Tool.lnk"];
    EXPECT_EQ(129u, tool.flags) << "a path with apostrophes round-trips";

    // The next run takes the name from the row: change it there and see it in the menu.
    {
        IconCache cache;
        ASSERT_EQ(1, cache.Open(CacheFile().c_str(), 0, 0));
        ASSERT_EQ(1, cache.Execute(L"UPDATE cache SET name='From The Cache' WHERE path='Alpha.lnk';"));
    }
    std::vector<std::wstring> items = RunOnce();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(L"From The Cache", items[0]);
}

TEST_F(IconCacheE2E, TouchingAShortcutReplacesItsRow) {
    RunOnce();
    unsigned before = ReadRows()[L"Alpha.lnk"].hash;
    HANDLE file = CreateFileW((root.Path() + L"\\Alpha.lnk").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME later = {0x12345678u, 0x01DA0000u};
    SetFileTime(file, nullptr, nullptr, &later);
    CloseHandle(file);
    RunOnce();
    std::map<std::wstring, Row> rows = ReadRows();
    EXPECT_EQ(2u, rows.size()) << "the row was replaced, not added";
    EXPECT_EQ(0x12345678u + 0x01DA0000u, rows[L"Alpha.lnk"].hash);
    EXPECT_NE(before, rows[L"Alpha.lnk"].hash);
}

TEST_F(IconCacheE2E, ACorruptCacheFileIsReplaced) {
    HANDLE file = CreateFileW(CacheFile().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string garbage(4096, 'x');
    DWORD written = 0;
    WriteFile(file, garbage.data(), (DWORD)garbage.size(), &written, nullptr);
    CloseHandle(file);
    std::vector<std::wstring> items = RunOnce();
    ASSERT_FALSE(items.empty()) << "the menu works";
    EXPECT_EQ(2u, ReadRows().size()) << "a fresh cache was written";
}

TEST_F(IconCacheE2E, ALockedCacheLeavesTheMenuWorking) {
    RunOnce();
    ASSERT_EQ(2u, ReadRows().size());
    // Another instance holds the file: exclusive locking keeps its write lock while it lives.
    IconCache other;
    ASSERT_EQ(1, other.Open(CacheFile().c_str(), 0, 1));
    ASSERT_EQ(1, other.BeginWrite());
    std::vector<std::wstring> items = RunOnce();
    ASSERT_FALSE(items.empty()) << "the menu works without its cache";
    EXPECT_EQ(L"Alpha", items[0]);
    other.EndWrite();
    other.Close();
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(CacheFile().c_str())) << "a locked cache is not deleted";
    EXPECT_EQ(2u, ReadRows().size());
}

TEST_F(IconCacheE2E, ATrayInstanceWhoseMenuNeverOpenedWritesNothing) {
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-s -r \"" + root.Path() + L"\""));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(veltrix.WaitForExit(10000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(ReadRows().empty());
}

TEST_F(IconCacheE2E, At120DotsPerInchTheMenusUseAndStore20PixelIcons) {
    // The display setting is read when a program starts: set it for the next Veltrix only.
    HKEY desktop;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", &desktop));
    DWORD logPixels = 120;
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, (const BYTE*)&logPixels, sizeof(logPixels));
    std::vector<std::wstring> first = RunOnce();
    std::map<std::wstring, Row> rows = ReadRows();
    // A second run at this size decodes the stored 20-pixel icons.
    std::vector<std::wstring> second = RunOnce();
    RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);

    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    ASSERT_EQ(2u, rows.size());
    // One 20 x 20 image with 32-bit colour: 22 + 40 + 1600 + 80 bytes.
    EXPECT_EQ(1742u, rows[L"Alpha.lnk"].iconBytes);
}
