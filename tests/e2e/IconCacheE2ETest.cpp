// The icon cache as the real program leaves it: Veltrix.sql in the user's temporary folder (beside the
// program in portable mode), and the icons of the menus as they appear on the screen.
#include "VeltrixProcess.h"

#include "Pixels.h"
#include "Shortcut.h"
#include "TempFolder.h"
#include "app/cache/IconCache.h"
#include "app/cache/IconHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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
    std::vector<unsigned char> icon;
};

// Every row of the cache file, by path.
std::map<std::wstring, Row> ReadRows(const std::wstring& file = CacheFile()) {
    std::map<std::wstring, Row> rows;
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return rows;
    IconCache cache;
    if (!cache.Open(file.c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL))
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
            row.icon = icon;
            rows[path.Buffer()] = row;
            if (!cursor->Step())
                break;
        }
        cache.ReleaseCursor(cursor);
    }
    return rows;
}

// The largest difference of one colour channel between two pixels.
int ChannelDistance(DWORD a, DWORD b) {
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int d = abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF));
        most = d > most ? d : most;
    }
    return most;
}

// The top of the first place, in columns left..left+span of the picture, where `pattern` shows with every
// channel of every pixel within `tolerance`; -1 when nowhere.
int FindPattern(const Pixels& picture, const Pixels& pattern, int left, int span, int tolerance, int* foundX) {
    for (int y = 0; y + pattern.height <= picture.height; y++) {
        for (int x = left; x <= left + span && x + pattern.width <= picture.width; x++) {
            bool match = true;
            for (int py = 0; match && py < pattern.height; py++)
                for (int px = 0; match && px < pattern.width; px++)
                    match = ChannelDistance(picture.At(x + px, y + py), pattern.At(px, py)) <= tolerance;
            if (match) {
                *foundX = x;
                return y;
            }
        }
    }
    return -1;
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
    // One once-mode run that shows the menu, opens the Tools folder (entries get rows only once their
    // menu has been shown) and is dismissed; the root menu's items are returned.
    std::vector<std::wstring> RunOnce(const std::wstring& options = L"") {
        VeltrixProcess veltrix;
        if (!veltrix.Start(L"-r \"" + root.Path() + L"\"" + options))
            return {};
        HWND popup = veltrix.WaitForMenu(15000);
        std::vector<std::wstring> items = popup ? VeltrixProcess::MenuItems(popup) : std::vector<std::wstring>();
        auto tools = std::find(items.begin(), items.end(), L"Tools");
        if (tools != items.end()) {
            for (long i = 0; i <= tools - items.begin(); i++)
                VeltrixProcess::PressKey(VK_DOWN);
            VeltrixProcess::PressKey(VK_RIGHT);
            Sleep(300);
            VeltrixProcess::PressKey(VK_ESCAPE);
        }
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
        ASSERT_EQ(1, cache.Open(CacheFile().c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL));
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
    ASSERT_EQ(1, other.Open(CacheFile().c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_EXCLUSIVE));
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

// Each icon size has its rows: after a run at 120 dots per inch, one at 96 again finds its 16-pixel rows as
// they were stored, so moving between monitors of different scale does not rewrite the cache every time.
TEST_F(IconCacheE2E, EachDotsPerInchKeepsItsOwnRowsBesideTheOthers) {
    HKEY desktop;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", &desktop));
    // Each row as "path size bytes #id", the size 0 for a row of the entry's flags alone (16 pixels).
    std::vector<std::vector<std::wstring>> after;
    for (DWORD logPixels : {96u, 120u, 96u}) {
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, (const BYTE*)&logPixels, sizeof(logPixels));
        EXPECT_FALSE(RunOnce().empty()) << logPixels;
        IconCache cache;
        CacheCursor* cursor = nullptr;
        after.emplace_back();
        if (cache.Open(CacheFile().c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL) &&
            cache.Execute(L"SELECT path || ' ' || (flags >> 20) || ' ' || length(icon) || ' #' || id FROM cache "
                          L"ORDER BY path, flags;",
                          &cursor)) {
            for (WString row; cursor->HasRow() && cursor->GetText(0, row) && cursor->Step();)
                after.back().push_back(row.Buffer());
            cache.ReleaseCursor(cursor);
        }
    }
    RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);
    const wchar_t* const expected[] = {L"Alpha.lnk 0 1150 #", L"Alpha.lnk 20 1742 #",
                                       L"Tools\\O'Brien's Tool.lnk 0 1150 #", L"Tools\\O'Brien's Tool.lnk 20 1742 #"};
    ASSERT_EQ(2u, after[0].size());
    ASSERT_EQ(4u, after[2].size()) << "a row of one size replaced the other's";
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(0u, after[2][i].find(expected[i])) << after[2][i];
    EXPECT_EQ(after[0][0], after[2][0]) << "the 16-pixel row was written again";
    EXPECT_EQ(after[0][1], after[2][2]) << "the 16-pixel row was written again";
    EXPECT_EQ(after[1], after[2]) << "the run at 96 again wrote rows";
}

// A resident instance reads the cache for each menu and keeps no lock between them, so a once-mode run
// beside it writes its rows at exit (they were lost while the resident one lived).
TEST_F(IconCacheE2E, AOnceModeRunBesideAResidentInstanceWritesItsRows) {
    VeltrixProcess resident;
    ASSERT_TRUE(resident.Start(L"-s -r \"" + root.Path() + L"\""));
    HWND main = resident.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    PostMessageW(main, WM_APP + 1, 1, WM_LBUTTONDOWN);
    ASSERT_NE(nullptr, resident.WaitForMenu(10000));
    VeltrixProcess::PressKey(VK_ESCAPE);
    Sleep(500);
    ASSERT_FALSE(RunOnce().empty());
    EXPECT_EQ(2u, ReadRows().size()) << "the once-mode run lost its rows";
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(resident.WaitForExit(10000));
}

// The write at exit waits a moment for another instance that holds the file (its own write at exit).
TEST_F(IconCacheE2E, TheWriteAtExitWaitsForAnotherInstancesLock) {
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-r \"" + root.Path() + L"\""));
    ASSERT_NE(nullptr, veltrix.WaitForMenu(15000));
    // Tools opened, so that its entry is shown and stored too.
    VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RIGHT);
    Sleep(300);
    VeltrixProcess::PressKey(VK_ESCAPE);
    IconCache other;
    ASSERT_EQ(1, other.Open(CacheFile().c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL));
    ASSERT_EQ(1, other.BeginWrite()) << "the menu's reads left a lock behind";
    VeltrixProcess::PressKey(VK_ESCAPE);
    // Dismissed, the program ends a second later and writes; the lock goes a little after that.
    Sleep(1300);
    other.EndWrite();
    other.Close();
    EXPECT_TRUE(veltrix.WaitForExit(10000));
    EXPECT_EQ(2u, ReadRows().size()) << "the write gave up at once";
}

TEST_F(IconCacheE2E, ProgramsWithDifferentIconsShowAndStoreDifferentIcons) {
    // The marker program carries an icon of its own; Wine's Notepad has another.
    wchar_t notepad[MAX_PATH];
    GetWindowsDirectoryW(notepad, MAX_PATH);
    wcscat(notepad, L"\\notepad.exe");
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Notepad.lnk", notepad));

    // The menu opens at the mouse; with the mouse on its corner no item is highlighted.
    SetCursorPos(8, 8);
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-r \"" + root.Path() + L"\""));
    HWND popup = veltrix.WaitForMenu(15000);
    ASSERT_NE(nullptr, popup);
    std::vector<std::wstring> items = VeltrixProcess::MenuItems(popup);
    Sleep(500);
    RECT area;
    GetWindowRect(popup, &area);
    Pixels menu = Pixels::OfScreen(area);
    VeltrixProcess::PressKey(VK_ESCAPE);
    ASSERT_TRUE(veltrix.WaitForExit(10000));
    ASSERT_GE(items.size(), 2u);
    ASSERT_EQ(L"Alpha", items[0]);
    ASSERT_EQ(L"Notepad", items[1]);

    std::map<std::wstring, Row> rows = ReadRows();
    const std::vector<unsigned char>& alphaBlob = rows[L"Alpha.lnk"].icon;
    const std::vector<unsigned char>& notepadBlob = rows[L"Notepad.lnk"].icon;
    ASSERT_FALSE(alphaBlob.empty());
    ASSERT_FALSE(notepadBlob.empty());
    EXPECT_NE(alphaBlob, notepadBlob) << "both entries stored the same icon";

    // Each stored icon, drawn on the icon column's colour, shows in the menu's icon column, the first
    // entry's above the second's: what the menu shows is what the cache keeps, and the two differ.
    IconHandle alphaIcon, notepadIcon;
    ASSERT_EQ(1, alphaIcon.FromBlob(alphaBlob.data(), alphaBlob.size(), 16, IconHandle::OWNED));
    ASSERT_EQ(1, notepadIcon.FromBlob(notepadBlob.data(), notepadBlob.size(), 16, IconHandle::OWNED));
    COLORREF column = GetSysColor(COLOR_BTNFACE);
    Pixels alpha = Pixels::OfIcon(16, 16, column, alphaIcon.Handle());
    Pixels other = Pixels::OfIcon(16, 16, column, notepadIcon.Handle());
    int differing = 0;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            differing += ChannelDistance(alpha.At(x, y), other.At(x, y)) > 48;
    EXPECT_GE(differing, 32) << "the two icons look alike";
    int alphaX = -1, notepadX = -1;
    // The menu draws through its image list, the test with DrawIconEx: blending may round apart a little.
    int alphaY = FindPattern(menu, alpha, 0, 8, 16, &alphaX);
    int notepadY = FindPattern(menu, other, 0, 8, 16, &notepadX);
    EXPECT_GE(alphaY, 0) << "the first entry's icon is not in the menu";
    EXPECT_GT(notepadY, alphaY) << "the second entry's icon is not in the menu below the first";
    EXPECT_EQ(alphaX, notepadX) << "both in the icon column";
}

// Portable mode also moves the settings to Veltrix.ini beside the program, but the program stores no
// setting yet (the update check that keeps its dates there is not built), so only the cache shows it.
TEST_F(IconCacheE2E, PortableModeKeepsTheCacheBesideTheProgram) {
    // The end-to-end programs share one folder, so what this test puts there goes however the test ends.
    struct Beside {
        std::wstring cache = VeltrixProcess::ProgramFolder() + L"Veltrix.sql";
        std::wstring marker = VeltrixProcess::ProgramFolder() + L"portable.dat";
        Beside() { Clear(); }
        ~Beside() { Clear(); }
        void Clear() const {
            DeleteFileW(cache.c_str());
            DeleteFileW(marker.c_str());
        }
    } beside;

    ASSERT_FALSE(RunOnce(L" -p").empty());
    EXPECT_EQ(2u, ReadRows(beside.cache).size()) << "the option keeps the cache beside the program";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(CacheFile().c_str())) << "and not in the temporary folder";

    beside.Clear();
    HANDLE marker = CreateFileW(beside.marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, marker);
    CloseHandle(marker);
    ASSERT_FALSE(RunOnce().empty());
    EXPECT_EQ(2u, ReadRows(beside.cache).size()) << "portable.dat alone keeps the cache beside the program";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(CacheFile().c_str()));
}

namespace {

// How many rows of the icon column (x 0..8) show the pattern, each counted once.
int CountPattern(const Pixels& picture, const Pixels& pattern, int tolerance = 16) {
    int count = 0, x = 0;
    Pixels rest = picture;
    for (;;) {
        int y = FindPattern(rest, pattern, 0, 8, tolerance, &x);
        if (y < 0)
            return count;
        count++;
        // Blank out the rows found, and look below them.
        for (int row = y; row < y + pattern.height; row++)
            for (int column = 0; column < rest.width; column++)
                rest.data[(size_t)row * rest.width + column] = 0x00FF00FF;
    }
}

// The visible popup windows of a process.
std::vector<HWND> PopupsOf(DWORD processId) {
    std::vector<HWND> popups;
    for (HWND popup = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); popup;
         popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(popup, &owner);
        if (owner == processId && IsWindowVisible(popup))
            popups.push_back(popup);
    }
    return popups;
}

} // namespace

// A folder's menu is made when it opens, and the icons the cache lacks are painted into the open menu as
// the shell gives them: first the system's icon of a program stands in, then each entry's own shows, without the menu
// being opened again. Entries of menus never shown get no rows, and their rows are kept.
TEST_F(IconCacheE2E, AFolderIsFilledWhenItOpensAndItsIconsArePaintedIn) {
    const int count = 30;
    root.Folder(L"Many");
    std::vector<std::wstring> names;
    for (int i = 0; i < count; i++) {
        wchar_t name[32];
        swprintf(name, 32, L"Program %02d", i);
        names.push_back(name);
        ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Many\\" + name + L".lnk", marker));
    }
    RunOnce();
    ASSERT_EQ(2u, ReadRows().size()) << "only the entries of the menus shown are stored";

    SetCursorPos(8, 8);
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-r \"" + root.Path() + L"\""));
    HWND top = veltrix.WaitForMenu(15000);
    ASSERT_NE(nullptr, top);
    std::vector<std::wstring> items = VeltrixProcess::MenuItems(top);
    ASSERT_GE(items.size(), 3u);
    ASSERT_EQ(L"Many", items[1]);
    Sleep(300);
    Pixels rootPicture = Pixels::OfWindow(top);
    VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RIGHT);
    HWND many = nullptr;
    for (DWORD begin = GetTickCount(); !many && GetTickCount() - begin < 10000; Sleep(1)) {
        for (HWND popup : PopupsOf(veltrix.Id()))
            many = popup != top ? popup : many;
    }
    ASSERT_NE(nullptr, many) << "the folder's menu did not open";
    std::vector<std::wstring> shown = VeltrixProcess::MenuItems(many);
    shown.resize(shown.size() < names.size() ? shown.size() : names.size());
    EXPECT_EQ(names, shown) << "the folder's entries, in the scan's order";

    // The entries all lead to the marker program, whose icon the first run stored for Alpha. The
    // folder's icon is taken from the screen, from the item of Many one row (16 + 12 pixels) below Alpha.
    std::vector<unsigned char> blob = ReadRows()[L"Alpha.lnk"].icon;
    IconHandle ownIcon;
    ASSERT_EQ(1, ownIcon.FromBlob(blob.data(), blob.size(), 16, IconHandle::OWNED));
    Pixels own = Pixels::OfIcon(16, 16, GetSysColor(COLOR_BTNFACE), ownIcon.Handle());
    int alphaX = -1, alphaY = FindPattern(rootPicture, own, 0, 8, 16, &alphaX);
    ASSERT_GE(alphaY, 0);
    Pixels folder;
    folder.width = folder.height = 16;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            folder.data.push_back(rootPicture.At(alphaX + x, alphaY + 28 + y));
    ASSERT_GT(CountPattern(rootPicture, folder), 1) << "Many and Tools show the folder's icon";
    // Not the folder's icon: a program waiting for its own looked like a folder.
    HICON program = (HICON)LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, 16, 16, 0);
    Pixels standIn = Pixels::OfIcon(16, 16, GetSysColor(COLOR_BTNFACE), program);
    DestroyIcon(program);
    // The first item is selected (its icon lies on the selection's gradient): the others are looked at.
    int painted = 0, waiting = -1, mostWaiting = 0;
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < 10000 && painted < count - 1; Sleep(5)) {
        Pixels now = Pixels::OfWindow(many);
        painted = CountPattern(now, own);
        waiting = CountPattern(now, standIn);
        mostWaiting = waiting > mostWaiting ? waiting : mostWaiting;
    }
    EXPECT_GE(mostWaiting, 1) << "every icon was there before the menu showed";
    EXPECT_EQ(count - 1, painted) << "the entries' own icons were not painted into the open menu";
    EXPECT_EQ(0, waiting);
    VeltrixProcess::PressKey(VK_ESCAPE);
    VeltrixProcess::PressKey(VK_ESCAPE);
    ASSERT_TRUE(veltrix.WaitForExit(10000));
    EXPECT_EQ(2u + count, ReadRows().size()) << "a row for each entry shown";

    // A run that does not open the folder leaves its rows as they are.
    RunOnce();
    EXPECT_EQ(2u + count, ReadRows().size());
}
