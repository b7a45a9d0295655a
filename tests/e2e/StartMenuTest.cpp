// The real Veltrix.exe, started as a user starts it, its menus read and driven through the window
// system.
#include "VeltrixProcess.h"

#include "Pixels.h"
#include "Shortcut.h"
#include "TempFolder.h"
#include "app/cache/IconCache.h"
#include "app/cache/UsageStore.h"
#include "app/popup/MenuPalette.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <shellapi.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include <wchar.h>
#include <wctype.h>

namespace {

const UINT TrayMessage = WM_APP + 1;

std::wstring Text(UINT id) {
    StringTable strings;
    return strings.Load(id);
}

// The fixed entries below the folder contents.
std::vector<std::wstring> FixedEntries(bool tray) {
    std::vector<std::wstring> entries = {
        L"-", Text(IDS_ORGANIZE), Text(IDS_ABOUT), Text(IDS_CONTROL_PANEL), Text(IDS_ADMIN_CONSOLE), Text(IDS_RUN)};
    if (tray) {
        entries.push_back(L"-");
        entries.push_back(Text(IDS_EXIT));
    }
    entries.push_back(L"-");
    entries.push_back(Text(IDS_SHUTDOWN));
    return entries;
}

std::vector<std::wstring> Concat(std::vector<std::wstring> first, const std::vector<std::wstring>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

} // namespace

class StartMenuE2E : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        root.Write(L"Beta.lnk", "");
        root.Write(L"alpha.lnk", "");
        root.Folder(L"Games");
        root.Write(L"Games\\Mines.lnk", "");
        root.Folder(L"Nothing Here");
    }
    void TearDown() override { CoUninitialize(); }
    std::wstring RootOption() const { return L"-r \"" + root.Path() + L"\""; }
    // The items of the menu of a once-mode run with these options added; the menu is then dismissed.
    std::vector<std::wstring> MenuOfOnceRun(const std::wstring& options) {
        VeltrixProcess veltrix;
        if (!veltrix.Start(RootOption() + options))
            return {L"not started"};
        HWND popup = veltrix.WaitForMenu(15000);
        std::vector<std::wstring> items = popup ? VeltrixProcess::MenuItems(popup) : std::vector<std::wstring>();
        VeltrixProcess::PressKey(VK_ESCAPE);
        EXPECT_TRUE(veltrix.WaitForExit(5000)) << "still running after Escape";
        return items;
    }

    TempFolder root{L"e2e-menu"};
};

TEST_F(StartMenuE2E, OnceModeShowsTheTreeAndEscapeEndsTheProgram) {
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption()));
    HWND popup = veltrix.WaitForMenu(15000);
    ASSERT_NE(nullptr, popup) << "no menu appeared";
    // The empty folder is left out; folders and entries mix alphabetically.
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games"}, FixedEntries(false)), VeltrixProcess::MenuItems(popup));

    HWND main = veltrix.WaitForMainWindow(1000);
    ASSERT_NE(nullptr, main);
    EXPECT_FALSE(IsWindowVisible(main)) << "the main window is never shown";

    // The common controls are the side-by-side version 6 the manifest asks for, never the system
    // folder's older library (which would draw 16-bit image lists and unthemed controls).
    std::vector<std::wstring> comctl = veltrix.ModulePaths(L"comctl32.dll");
    ASSERT_FALSE(comctl.empty());
    for (std::wstring path : comctl) {
        std::transform(path.begin(), path.end(), path.begin(), towlower);
        EXPECT_NE(std::wstring::npos, path.find(L"\\winsxs\\")) << std::string(path.begin(), path.end());
        EXPECT_NE(std::wstring::npos, path.find(L"common-controls_6595b64144ccf1df_6."));
    }

    VeltrixProcess::PressKey(VK_ESCAPE);
    DWORD exitCode = 1;
    // The program closes about a second after the menu was dismissed.
    EXPECT_TRUE(veltrix.WaitForExit(5000, &exitCode)) << "still running after Escape";
    EXPECT_EQ(0u, exitCode);
}

TEST_F(StartMenuE2E, EmptyFoldersShowOnRequest) {
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games", L"Nothing Here"}, FixedEntries(false)), MenuOfOnceRun(L" -e"));
}

TEST_F(StartMenuE2E, OrderOptionPutsEntriesOrFoldersFirst) {
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games"}, FixedEntries(false)), MenuOfOnceRun(L" -o1"));
    root.Folder(L"Zulu Tools");
    root.Write(L"Zulu Tools\\z.lnk", "");
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games", L"Zulu Tools"}, FixedEntries(false)), MenuOfOnceRun(L" -o1"));
    EXPECT_EQ(Concat({L"Games", L"Zulu Tools", L"alpha", L"Beta"}, FixedEntries(false)), MenuOfOnceRun(L" -o 2"));
}

TEST_F(StartMenuE2E, ChoosingAnEntryWithTheKeyboardLaunchesIt) {
    std::wstring marker = root.Path() + L"\\launched.txt";
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\alpha.lnk", VeltrixProcess::ProgramFolder() + L"marker.exe",
                             L"\"" + marker + L"\""));
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption()));
    ASSERT_NE(nullptr, veltrix.WaitForMenu(15000));
    VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RETURN);
    DWORD exitCode = 1;
    EXPECT_TRUE(veltrix.WaitForExit(10000, &exitCode)) << "a choice ends a once-mode run";
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(VeltrixProcess::WaitForFile(marker, 10000)) << "the chosen program did not run";
    // The start is counted where the user's data lives, not in the icon cache in the temporary folder.
    wchar_t local[MAX_PATH] = L"";
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, local, CSIDL_LOCAL_APPDATA, FALSE));
    UsageStore usage;
    ASSERT_TRUE(usage.Open((std::wstring(local) + L"\\Koravent\\Veltrix\\Veltrix-usage.sql").c_str()));
    EXPECT_GT(usage.Score(L"alpha.lnk", UsageStore::Now()), 0.9);
}

TEST_F(StartMenuE2E, TrayModeOpensAFreshMenuOnClicksOnly) {
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption() + L" -s"));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(nullptr, veltrix.WaitForMenu(1000)) << "no menu before a click";

    // The right button opens nothing as it goes down.
    PostMessageW(main, TrayMessage, 1, WM_RBUTTONDOWN);
    EXPECT_EQ(nullptr, veltrix.WaitForMenu(1500));

    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    HWND popup = veltrix.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games"}, FixedEntries(true)), VeltrixProcess::MenuItems(popup));
    VeltrixProcess::PressKey(VK_ESCAPE);
    Sleep(1500);
    EXPECT_TRUE(veltrix.IsRunning()) << "a dismissed menu does not end tray mode";

    // Each click scans afresh.
    root.Write(L"Charlie.lnk", "");
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDBLCLK);
    popup = veltrix.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Charlie", L"Games"}, FixedEntries(true)), VeltrixProcess::MenuItems(popup));
    VeltrixProcess::PressKey(VK_ESCAPE);
    Sleep(500);

    // Its release shows the icon's short menu, whose Exit ends the program.
    PostMessageW(main, TrayMessage, 1, WM_RBUTTONUP);
    popup = veltrix.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup);
    StringTable strings;
    EXPECT_EQ((std::vector<std::wstring>{strings.Load(IDS_ABOUT), strings.Load(IDS_EXIT)}),
              VeltrixProcess::MenuItems(popup));
    VeltrixProcess::PressKey(VK_UP);
    VeltrixProcess::PressKey(VK_RETURN);
    DWORD exitCode = 1;
    EXPECT_TRUE(veltrix.WaitForExit(10000, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

// A resident instance keeps its menu between clicks and reads the Start Menu folders again when they
// change: what was added, removed or renamed (also below a folder) shows in a menu opened a second
// later. The names and icons it fetched are stored while it runs, not only when it ends.
TEST_F(StartMenuE2E, AResidentMenuShowsChangesAndStoresItsRowsWhileRunning) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring cacheFile = std::wstring(temp) + L"Veltrix.sql";
    DeleteFileW(cacheFile.c_str());
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\alpha.lnk", VeltrixProcess::ProgramFolder() + L"marker.exe"));
    auto rowStored = [&cacheFile](const wchar_t* path) {
        IconCache cache;
        if (!cache.Open(cacheFile.c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL))
            return false;
        CacheCursor* cursor = nullptr;
        std::wstring sql = std::wstring(L"SELECT name FROM cache WHERE path='") + path + L"';";
        bool found = cache.Execute(sql.c_str(), &cursor) && cursor && cursor->HasRow();
        cache.ReleaseCursor(cursor);
        return found;
    };

    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption() + L" -s"));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    HWND popup = veltrix.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games"}, FixedEntries(true)), VeltrixProcess::MenuItems(popup));
    VeltrixProcess::PressKey(VK_ESCAPE);
    bool stored = false;
    for (DWORD begin = GetTickCount(); !stored && GetTickCount() - begin < 10000; Sleep(200))
        stored = rowStored(L"alpha.lnk");
    EXPECT_TRUE(stored) << "the fetched row was not written while the instance runs";

    ASSERT_TRUE(MoveFileW((root.Path() + L"\\alpha.lnk").c_str(), (root.Path() + L"\\Delta.lnk").c_str()));
    ASSERT_TRUE(DeleteFileW((root.Path() + L"\\Beta.lnk").c_str()));
    root.Write(L"Charlie.lnk", "");
    // A folder first empty (and so left out), its entry written a moment later: a change below it.
    root.Folder(L"Office");
    Sleep(400);
    root.Write(L"Office\\Writer.lnk", "");
    Sleep(1000);
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    popup = veltrix.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(Concat({L"Charlie", L"Delta", L"Games", L"Office"}, FixedEntries(true)),
              VeltrixProcess::MenuItems(popup));
    VeltrixProcess::PressKey(VK_ESCAPE);
    Sleep(500);
    EXPECT_EQ(0u, veltrix.CloseAndWait(main, 10000));
    DeleteFileW(cacheFile.c_str());
}

TEST_F(StartMenuE2E, ADoubleClickOnTheTrayIconKeepsTheOpenMenuWorking) {
    std::wstring marker = root.Path() + L"\\launched.txt";
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\alpha.lnk", VeltrixProcess::ProgramFolder() + L"marker.exe",
                             L"\"" + marker + L"\""));
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption() + L" -s"));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    // A double click: the press opens the menu, and the double-click notification arrives while it is
    // open. It must neither replace the tree under the open menu nor open a second one.
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    HWND popup = veltrix.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup);
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONUP);
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDBLCLK);
    Sleep(1000);
    ASSERT_TRUE(veltrix.IsRunning());
    EXPECT_TRUE(IsWindowVisible(popup)) << "the first menu stays open";
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games"}, FixedEntries(true)), VeltrixProcess::MenuItems(popup));

    // Its items still lead to their entries.
    VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RETURN);
    EXPECT_TRUE(VeltrixProcess::WaitForFile(marker, 10000)) << "the chosen program did not run";
    EXPECT_TRUE(veltrix.IsRunning()) << "tray mode goes on after a choice";
    EXPECT_EQ(0u, veltrix.CloseAndWait(main, 10000));
}

TEST_F(StartMenuE2E, ExitEndsTrayMode) {
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption() + L" -s"));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDBLCLK);
    HWND popup = veltrix.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup);
    // Exit is the third item from the bottom: up from the top wraps to the last item.
    VeltrixProcess::PressKey(VK_UP);
    VeltrixProcess::PressKey(VK_UP);
    VeltrixProcess::PressKey(VK_RETURN);
    DWORD exitCode = 1;
    EXPECT_TRUE(veltrix.WaitForExit(10000, &exitCode)) << "Exit did not end the program";
    EXPECT_EQ(0u, exitCode);
}

// Another program's icon in the notification area, as on any desktop: Wine's takes about 2 s to drop the
// last icon it shows, and the test is about the program's own part of its end.
class OtherTrayIcon {
public:
    OtherTrayIcon() {
        icon.cbSize = sizeof(icon);
        icon.hWnd = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        icon.uFlags = NIF_ICON;
        icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        Shell_NotifyIconW(NIM_ADD, &icon);
    }
    ~OtherTrayIcon() {
        Shell_NotifyIconW(NIM_DELETE, &icon);
        DestroyWindow(icon.hWnd);
    }

private:
    NOTIFYICONDATAW icon = {};
};

// An update's restart or the installer asks the program to close while its menu is open, in either mode:
// it ends within 2 s.
TEST_F(StartMenuE2E, AskedToCloseWithItsMenuOpenItEndsCleanlyAtOnce) {
    OtherTrayIcon other;
    for (const wchar_t* mode : {L"", L" -s"}) {
        VeltrixProcess veltrix;
        ASSERT_TRUE(veltrix.Start(RootOption() + mode));
        HWND main = veltrix.WaitForMainWindow(15000);
        ASSERT_NE(nullptr, main);
        if (*mode)
            PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
        ASSERT_NE(nullptr, veltrix.WaitForMenu(10000));
        EXPECT_EQ(0u, veltrix.CloseAndWait(main, 2000)) << (*mode ? "tray mode" : "once mode");
    }
}

TEST_F(StartMenuE2E, TwoInstancesRegisterTwoWindowClasses) {
    // A resident instance and a once-mode one beside it (a second resident start hands over and ends).
    VeltrixProcess first, second;
    ASSERT_TRUE(first.Start(RootOption() + L" -s"));
    HWND one = first.WaitForMainWindow(15000);
    ASSERT_TRUE(second.Start(RootOption()));
    ASSERT_NE(nullptr, second.WaitForMenu(15000));
    HWND two = second.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, one);
    ASSERT_NE(nullptr, two);
    std::wstring a = VeltrixProcess::ClassName(one), b = VeltrixProcess::ClassName(two);
    EXPECT_EQ(0u, a.find(L"Kavrin_{"));
    EXPECT_EQ(7u + 38u, a.size()) << "the signature, an underscore and a braced GUID";
    EXPECT_NE(a, b);
    VeltrixProcess::PressKey(VK_ESCAPE);
    EXPECT_TRUE(second.WaitForExit(10000));
    PostMessageW(one, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitForExit(10000));
}

TEST_F(StartMenuE2E, ASecondResidentStartOpensTheFirstOnesMenuAndEnds) {
    VeltrixProcess first, second;
    ASSERT_TRUE(first.Start(RootOption() + L" -s"));
    HWND main = first.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    ASSERT_TRUE(second.Start(RootOption() + L" -s"));
    DWORD exitCode = 1;
    EXPECT_TRUE(second.WaitForExit(15000, &exitCode)) << "a second notification-area instance stays";
    EXPECT_EQ(0u, exitCode);
    HWND popup = first.WaitForMenu(10000);
    ASSERT_NE(nullptr, popup) << "the running instance did not open its menu";
    EXPECT_EQ(Concat({L"alpha", L"Beta", L"Games"}, FixedEntries(true)), VeltrixProcess::MenuItems(popup));
    VeltrixProcess::PressKey(VK_ESCAPE);
    Sleep(500);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitForExit(10000));
}

// The About box's modal loop runs inside the choice's handling and dispatches tray clicks: they must not
// replace the tree (and its menus) the running action came from.
TEST_F(StartMenuE2E, ATrayClickWhileTheAboutBoxIsOpenOpensNoMenuUnderIt) {
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption() + L" -s"));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    ASSERT_NE(nullptr, veltrix.WaitForMenu(10000));
    for (int i = 0; i < 5; i++)
        VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RETURN);
    HWND dialog = veltrix.WaitForWindow(L"#32770", 10000);
    ASSERT_NE(nullptr, dialog) << "no About box";
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    EXPECT_EQ(nullptr, veltrix.WaitForMenu(1500)) << "a menu opened under the running About box";
    EXPECT_TRUE(IsWindow(dialog));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    Sleep(500);
    ASSERT_TRUE(veltrix.IsRunning());
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    EXPECT_NE(nullptr, veltrix.WaitForMenu(10000)) << "after the box the icon opens the menu again";
    VeltrixProcess::PressKey(VK_ESCAPE);
    Sleep(500);
    EXPECT_EQ(0u, veltrix.CloseAndWait(main, 10000));
}

TEST_F(StartMenuE2E, AboutKeepsOnceModeAliveUntilTheDialogCloses) {
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption()));
    ASSERT_NE(nullptr, veltrix.WaitForMenu(15000));
    // alpha, Beta, Games, then Organize and About... (the separator is skipped).
    for (int i = 0; i < 5; i++)
        VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RETURN);
    HWND dialog = veltrix.WaitForWindow(L"#32770", 10000);
    ASSERT_NE(nullptr, dialog) << "no About box";
    wchar_t title[64] = L"";
    GetWindowTextW(dialog, title, 64);
    EXPECT_STREQ(L"Veltrix [1.10]", title);
    wchar_t ok[32] = L"";
    GetDlgItemTextW(dialog, 1001, ok, 32);
    EXPECT_STREQ(Text(IDS_OK).c_str(), ok);
    Sleep(1500);
    EXPECT_TRUE(veltrix.IsRunning()) << "the program waits for the dialog";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(veltrix.WaitForExit(10000)) << "closing the About box ends a once-mode run";
}

TEST_F(StartMenuE2E, OnceModeLivesWhileTheShellHoldsItsProcessReference) {
    // A component of the shell that still works for the run when its menu goes (a DDE or DelegateExecute
    // verb, a property sheet whose window is not up yet) holds the process's reference: the run waits for
    // it rather than ending under it, and ends once it lets go. (Nothing in Wine's shell takes the
    // reference, so a hook library inside the process takes it, as such a component would.)
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption()));
    HWND popup = veltrix.WaitForMenu(15000);
    ASSERT_NE(nullptr, popup);
    // Published once the menu is idle on screen: asked again for a moment if the menu was not yet.
    bool held = false;
    for (DWORD start = GetTickCount(); !held && GetTickCount() - start < 5000; Sleep(100))
        held = VeltrixProcess::HoldShellReference(popup, 4000);
    ASSERT_TRUE(held) << "no process reference published while the menu was open";
    VeltrixProcess::PressKey(VK_ESCAPE);
    // The close timer fires a second after the menu has gone; the reference is held for four.
    EXPECT_FALSE(veltrix.WaitForExit(2500)) << "ended while the shell still held its reference";
    DWORD exitCode = 1;
    EXPECT_TRUE(veltrix.WaitForExit(8000, &exitCode)) << "still running after the shell let go";
    EXPECT_EQ(0u, exitCode);
}

TEST_F(StartMenuE2E, AMergedEntryLaunchesItsAllUsersCopy) {
    // The same shortcut in both Programs folders of the prefix, each leaving its own marker file.
    std::wstring label = L"VeltrixMerged-" + std::to_wstring(GetCurrentProcessId());
    wchar_t common[MAX_PATH], user[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_PROGRAMS, TRUE));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, user, CSIDL_PROGRAMS, TRUE));
    std::wstring commonFolder = std::wstring(common) + L"\\" + label, userFolder = std::wstring(user) + L"\\" + label;
    CreateDirectoryW(commonFolder.c_str(), nullptr);
    CreateDirectoryW(userFolder.c_str(), nullptr);
    std::wstring fromCommon = root.Path() + L"\\common.txt", fromUser = root.Path() + L"\\user.txt";
    ASSERT_TRUE(MakeShortcut(commonFolder + L"\\Shared.lnk", VeltrixProcess::ProgramFolder() + L"marker.exe",
                             L"\"" + fromCommon + L"\""));
    ASSERT_TRUE(MakeShortcut(userFolder + L"\\Shared.lnk", VeltrixProcess::ProgramFolder() + L"marker.exe",
                             L"\"" + fromUser + L"\""));

    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L""));
    HWND popup = veltrix.WaitForMenu(15000);
    ASSERT_NE(nullptr, popup);
    std::vector<std::wstring> items = VeltrixProcess::MenuItems(popup);
    auto found = std::find(items.begin(), items.end(), label);
    ASSERT_NE(items.end(), found) << "the merged folder is missing";
    // Down to the folder (separators are skipped, and none lies above it), open it, choose its one entry.
    for (long i = 0; i <= found - items.begin(); i++)
        VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RIGHT);
    VeltrixProcess::PressKey(VK_RETURN);
    EXPECT_TRUE(veltrix.WaitForExit(10000));
    EXPECT_TRUE(VeltrixProcess::WaitForFile(fromCommon, 10000)) << "the all-users copy did not run";
    Sleep(500);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(fromUser.c_str())) << "the user's copy ran";
    TempFolder::RemoveTree(commonFolder);
    TempFolder::RemoveTree(userFolder);
}

TEST_F(StartMenuE2E, HighContrastPaintsTheMenuInTheSystemColoursOnly) {
    // High Contrast Black's menu colours, read by the program when it starts; Wine never reports high
    // contrast, so the variable stands in for the setting there.
    const wchar_t* colours[][2] = {
        {L"Menu", L"0 0 0"}, {L"MenuText", L"255 255 255"}, {L"Hilight", L"26 235 255"}, {L"HilightText", L"0 0 0"}};
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, L"Control Panel\\Colors", &key));
    wchar_t before[4][32] = {};
    for (int i = 0; i < 4; i++) {
        DWORD size = sizeof(before[i]) - sizeof(wchar_t);
        RegQueryValueExW(key, colours[i][0], nullptr, nullptr, (BYTE*)before[i], &size);
        RegSetValueExW(key, colours[i][0], 0, REG_SZ, (const BYTE*)colours[i][1],
                       (DWORD)(wcslen(colours[i][1]) + 1) * 2);
    }
    SetEnvironmentVariableW(L"VELTRIX_HIGH_CONTRAST", L"1");
    VeltrixProcess veltrix;
    bool started = veltrix.Start(RootOption());
    SetEnvironmentVariableW(L"VELTRIX_HIGH_CONTRAST", nullptr);
    HWND popup = started ? veltrix.WaitForMenu(15000) : nullptr;
    // Only once the program runs: it reads the colours as it starts. The prefix's own come back.
    for (int i = 0; i < 4; i++) {
        if (before[i][0])
            RegSetValueExW(key, colours[i][0], 0, REG_SZ, (const BYTE*)before[i], (DWORD)(wcslen(before[i]) + 1) * 2);
        else
            RegDeleteValueW(key, colours[i][0]);
    }
    RegCloseKey(key);
    ASSERT_NE(nullptr, popup);
    VeltrixProcess::PressKey(VK_DOWN);
    Sleep(500);

    // A column near the right edge crosses every item: the menu's black, the selected item's highlight
    // and the separators' lines in the menu's text colour, nothing else (no white, no gradient).
    RECT area;
    GetWindowRect(popup, &area);
    int height = area.bottom - area.top - 8;
    ASSERT_GT(height, 0);
    RECT columnArea = {area.right - 6, area.top + 4, area.right - 5, area.top + 4 + height};
    Pixels column = Pixels::OfScreen(columnArea);
    ASSERT_EQ(height, column.height);
    int black = 0, highlight = 0, others = 0;
    for (int y = 0; y < height; y++) {
        DWORD pixel = column.At(0, y);
        if (pixel == 0)
            black++;
        else if (pixel == 0x1AEBFF)
            highlight++;
        else if (pixel != 0xFFFFFF)
            others++;
    }
    VeltrixProcess::PressKey(VK_ESCAPE);
    EXPECT_TRUE(veltrix.WaitForExit(5000));
    EXPECT_GT(black, (area.bottom - area.top) / 2) << "the menu's background is not the system's";
    EXPECT_GE(highlight, 10) << "the selected item is not in the system's highlight colour";
    EXPECT_EQ(0, others) << "colours of the program's own";
}

namespace {

// What the user sees of a popup: its mean luminance (0 black to 1 white) and the contrast of its text with
// its background, the commonest colour, across the text column (left of it the icons, right the arrows).
void LookAt(HWND popup, double* luminance, double* textContrast) {
    RECT area;
    GetWindowRect(popup, &area);
    Pixels shot = Pixels::OfScreen(area);
    std::map<COLORREF, int> counts;
    double sum = 0;
    for (int y = 0; y < shot.height; y++) {
        for (int x = 0; x < shot.width; x++) {
            DWORD pixel = shot.At(x, y);
            COLORREF color = RGB(pixel >> 16, (pixel >> 8) & 0xFF, pixel & 0xFF);
            // WCAG's contrast with black is (L + 0.05) / 0.05.
            sum += MenuPalette::Contrast(color, 0) * 0.05 - 0.05;
            if (x > shot.width / 5 && x < shot.width - 30)
                counts[color]++;
        }
    }
    *luminance = shot.width > 0 ? sum / shot.width / shot.height : -1;
    COLORREF background = 0;
    for (const auto& count : counts)
        background = count.second > counts[background] ? count.first : background;
    *textContrast = 1;
    for (const auto& count : counts)
        *textContrast = std::max(*textContrast, MenuPalette::Contrast(count.first, background));
}

} // namespace

// Dark in the dark app mode, light in the light one, and a change of the mode shows in the next menu of
// a resident instance.
TEST_F(StartMenuE2E, TheMenuFollowsTheAppModeFromOneMenuToTheNext) {
    const wchar_t* personalize = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(RootOption() + L" -s"));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    const DWORD modes[] = {1, 0, 1};
    double luminance[3] = {-1, -1, -1}, contrast[3] = {};
    for (int i = 0; i < 3; i++) {
        RegSetKeyValueW(HKEY_CURRENT_USER, personalize, L"AppsUseLightTheme", REG_DWORD, &modes[i], sizeof(DWORD));
        PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
        HWND popup = veltrix.WaitForMenu(10000);
        Sleep(500);
        if (popup)
            LookAt(popup, &luminance[i], &contrast[i]);
        VeltrixProcess::PressKey(VK_ESCAPE);
        Sleep(500);
    }
    // The prefix's own mode back before anything is checked: the tests after this one draw light.
    RegDeleteKeyValueW(HKEY_CURRENT_USER, personalize, L"AppsUseLightTheme");
    EXPECT_EQ(0u, veltrix.CloseAndWait(main, 10000));
    for (int i = 0; i < 3; i++) {
        if (modes[i])
            EXPECT_GT(luminance[i], 0.7) << "light mode, menu " << i;
        else
            EXPECT_LT(luminance[i], 0.2) << "dark mode, menu " << i;
        EXPECT_GE(contrast[i], 7.0) << "text against its background, menu " << i;
    }
}

// Each popup is measured for the dots per inch it is shown at: the small icons' size, the margins around
// them grown in proportion, and the text in the menu font of that scale.
TEST_F(StartMenuE2E, ItemsAndIconsAreSizedForTheDotsPerInch) {
    const DWORD scales[] = {96, 120, 144, 192};
    std::vector<std::wstring> organize;
    for (DWORD dpi : scales) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
        VeltrixProcess veltrix;
        HWND popup = veltrix.Start(RootOption()) ? veltrix.WaitForMenu(15000) : nullptr;
        std::vector<std::wstring> items = popup ? VeltrixProcess::MenuItems(popup, true) : std::vector<std::wstring>();
        VeltrixProcess::PressKey(VK_ESCAPE);
        veltrix.WaitForExit(5000);
        // "Organize", the same text in every run, with "\tWIDTHxHEIGHT ICON" after it.
        auto found = std::find_if(items.begin(), items.end(),
                                  [](const std::wstring& item) { return item.find(L"Organize\t") == 0; });
        organize.push_back(found != items.end() ? *found : L"(no menu)");
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    int widthAt96 = 0;
    for (size_t i = 0; i < organize.size(); i++) {
        int dpi = (int)scales[i], width = 0, height = 0, icon = 0;
        ASSERT_EQ(3, swscanf(organize[i].c_str(), L"Organize\t%dx%d %d", &width, &height, &icon)) << organize[i];
        EXPECT_EQ(MulDiv(16, dpi, 96), icon) << dpi;
        EXPECT_EQ(icon + MulDiv(12, dpi, 96), height) << dpi;
        widthAt96 = widthAt96 ? widthAt96 : width;
        EXPECT_NEAR((double)width / widthAt96, dpi / 96.0, 0.12) << dpi;
    }
}
