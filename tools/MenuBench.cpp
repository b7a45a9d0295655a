// menu_bench: how long the menu takes to appear, and where that time goes.
// For Start Menus of 100, 1000 and 5000 shortcuts (made through the shell's link object, pointing at a
// real program, in nested folders of about 20 entries under a temporary folder used as the custom
// root) it prints one line of milliseconds; then the same for 10,000 shortcuts in one folder (layout=flat):
//   bare   a plain FindFirstFileW walk of the tree, the least any scan can cost;
//   scan   the tree scan of the menu;
//   shell  SHGetFileInfoW for the name and small icon of every entry and nothing else, the least a menu
//          built without the cache can cost;
//   cold   the menu build with an empty cache (names and icons from the shell);
//   write  the cache write at exit after that build;
//   warm   the menu build with a warm cache (the build alone);
//   floor  start to visible popup of menu_floor, the smallest program that shows a menu at the mouse;
//   open   start to visible menu of Veltrix.exe (as shipped, see ShippedProgram) in once mode with -r on the
//          tree and a warm cache;
//   cold_open  the same with no cache file;
//   submenu_cold, submenu_warm  a folder of 20 entries two levels down opened with the keyboard: from the
//          key to its popup visible, without and with the cache's rows for it; icons_cold and icons_warm
//          from the key until that popup's pixels last changed (every icon painted);
//   tray   a resident Veltrix -s: the notification message to its visible menu, with nothing changed and
//          (tray_changed) one second after a shortcut was added to the tree;
//   tray_floor  the same for menu_floor -s, the smallest resident program that shows a menu;
//   search  in a resident Veltrix's open menu, a letter that every entry's name holds and nothing at the
//          root starts with: from the key until the popup of the results is visible, the root closing
//          first (median of five warm runs; search_first the first, which reads the names);
//   search_index, search_find  in this process, reading the names of the scanned tree for searching, and
//          one search of that letter: the part of the search that grows with the tree.
// floor and open are seen from outside: the process is started, its visible popup menu window is looked
// for every millisecond, then closed with Escape. They are medians of five alternating runs, the other
// figures medians of three. per_entry_us is scan and warm build together, in microseconds per entry:
// a large folder should cost no more per entry than the nested folders of 20 do.
// "veltrix=PATH" times another Veltrix.exe for open_ms (an earlier build, for a comparison).
//   bench entries=1000 bare_ms=9.1 scan_ms=12.3 shell_ms=400.2 cold_ms=456.7 write_ms=89.0 warm_ms=34.5 ...
#include "app/cache/CacheWriter.h"
#include "app/cache/IconCache.h"
#include "app/menus/MenuBuilder.h"
#include "app/search/TreeSearch.h"
#include "app/tree/MenuNode.h"
#include "app/tree/MenuOptions.h"
#include "app/tree/TreeScan.h"
#include "base/Stopwatch.h"

#include "Pixels.h"
#include "TempFolder.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

const int Runs = 3;
const int OpenRuns = 5;
const int EntriesPerFolder = 20;
// How long a started program may take to show its menu, and then to end, before the run is given up;
// the run that fills the cache asks the shell for every entry, a minute for 10,000 under Wine.
const DWORD ShowLimit = 60000;
const DWORD FillLimit = 600000;
const DWORD ExitLimit = 15000;
// The pause before each timed start, so that every start finds the machine as quiet as the others do. A
// program's exit leaves work behind for a moment (under Wine the window system still tearing down its
// menu and windows), and a start in that moment is slowed by it. Without the pause the floor program
// started a second after Veltrix's menu had closed (Veltrix ends on a timer), Veltrix the instant the
// floor's menu closed and it ended, which alone made Veltrix's start 6 ms slower at 1000 entries.
const DWORD SettleMs = 500;

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Shortcuts to notepad in folders of EntriesPerFolder, the folders themselves grouped the same way; or
// all of them in one folder.
bool MakeStartMenu(const std::wstring& root, int entries, bool flat) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link)))
        return false;
    IPersistFile* file = nullptr;
    link->QueryInterface(IID_IPersistFile, (void**)&file);
    wchar_t target[MAX_PATH];
    GetWindowsDirectoryW(target, MAX_PATH);
    wcscat(target, L"\\notepad.exe");
    link->SetPath(target);
    link->SetIconLocation(target, 0); // as installers do; Wine takes a shortcut's icon only from here
    CreateDirectoryW(root.c_str(), nullptr);
    bool ok = file != nullptr;
    for (int i = 0; ok && i < entries; i++) {
        int folder = i / EntriesPerFolder;
        std::wstring group = root + L"\\Group " + std::to_wstring(folder / EntriesPerFolder);
        std::wstring leaf = group + L"\\Folder " + std::to_wstring(folder);
        CreateDirectoryW(group.c_str(), nullptr);
        CreateDirectoryW(leaf.c_str(), nullptr);
        if (flat)
            leaf = root;
        std::wstring name = leaf + L"\\Program " + std::to_wstring(i) + L".lnk";
        ok = SUCCEEDED(file->Save(name.c_str(), TRUE));
    }
    if (file)
        file->Release();
    link->Release();
    return ok;
}

// A plain recursive walk; the files it finds go to files when given.
int Walk(const std::wstring& folder, std::vector<std::wstring>* files) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L".."))
            continue;
        std::wstring path = folder + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            count += Walk(path, files);
        } else {
            count++;
            if (files)
                files->push_back(path);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

std::unique_ptr<MenuNode> ScanTree() {
    std::unique_ptr<MenuNode> tree(new MenuNode(nullptr));
    tree->flags = NODE_CUSTOM_ROOT;
    TreeScan::Scan(tree.get());
    return tree;
}

double Elapsed(Stopwatch& watch) {
    watch.Stop();
    return watch.Microseconds() / 1000.0;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

// The program users start: the build's shipped copy, without the debug information that makes up three
// quarters of bin/Veltrix.exe and that the loader would read in at every start. A build that makes no
// release artefacts (the 64-bit one) has only bin/Veltrix.exe.
std::wstring ShippedProgram() {
    std::wstring shipped = ProgramFolder() + L"..\\dist\\Veltrix.exe";
    if (GetFileAttributesW(shipped.c_str()) != INVALID_FILE_ATTRIBUTES)
        return shipped;
    return ProgramFolder() + L"Veltrix.exe";
}

// The visible popup menu window of that process, if it shows one.
HWND VisiblePopupOf(DWORD processId) {
    for (HWND popup = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); popup;
         popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(popup, &owner);
        if (owner == processId && IsWindowVisible(popup))
            return popup;
    }
    return nullptr;
}

// Milliseconds from starting the program until its popup menu is visible, or -1. The menu is then
// closed with Escape and the program must end.
double TimeToMenu(const std::wstring& program, const std::wstring& arguments, Stopwatch& watch,
                  DWORD showLimit = ShowLimit) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    Sleep(SettleMs);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    watch.Start();
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    double shown = -1;
    HWND popup = nullptr;
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < showLimit) {
        if ((popup = VisiblePopupOf(process.dwProcessId)) != nullptr) {
            shown = Elapsed(watch);
            break;
        }
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    // The menu loop reads the keys posted to its thread, whatever window they name.
    if (popup) {
        PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(popup, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    }
    if (WaitForSingleObject(process.hProcess, ExitLimit) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, ExitLimit);
        shown = -1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return shown;
}

// The visible popup windows of that process, in the order the window manager lists them.
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

// Waits for a visible popup of the process other than those given; null after the time.
HWND NewPopup(DWORD processId, const std::vector<HWND>& known, DWORD limit) {
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < limit) {
        for (HWND popup : PopupsOf(processId)) {
            if (std::find(known.begin(), known.end(), popup) == known.end())
                return popup;
        }
        Sleep(0);
    }
    return nullptr;
}

void PostKey(HWND popup, WPARAM key) {
    PostMessageW(popup, WM_KEYDOWN, key, 0);
    PostMessageW(popup, WM_KEYUP, key, 0xC0000001);
}

// A key as the user presses it, to the menu that has the keyboard (the one opened last).
void PressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = key;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

struct SubmenuTimes {
    double shown = -1;
    double painted = -1;
};

// Starts the program, opens the first folder's first folder with the keyboard and times its popup: until
// it is visible, and until its pixels last changed (watched for a second and a half after that).
SubmenuTimes TimeToSubmenu(const std::wstring& program, const std::wstring& arguments, Stopwatch& watch) {
    SubmenuTimes times;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return times;
    std::vector<HWND> open;
    if (HWND root = NewPopup(process.dwProcessId, open, ShowLimit)) {
        open.push_back(root);
        PressKey(VK_DOWN);
        PressKey(VK_RIGHT);
        if (HWND group = NewPopup(process.dwProcessId, open, ExitLimit)) {
            open.push_back(group);
            // Down to the first or second folder (whether or not the first was selected as the folder
            // opened), both of 20 entries.
            PressKey(VK_DOWN);
            Sleep(200);
            watch.Start();
            PressKey(VK_RIGHT);
            if (HWND folder = NewPopup(process.dwProcessId, open, ExitLimit)) {
                times.shown = Elapsed(watch);
                open.push_back(folder);
                std::vector<DWORD> last = Pixels::OfWindow(folder).data;
                times.painted = times.shown;
                DWORD begin = GetTickCount();
                while (GetTickCount() - begin < 1500) {
                    std::vector<DWORD> now = Pixels::OfWindow(folder).data;
                    double at = Elapsed(watch);
                    if (now != last) {
                        times.painted = at;
                        last.swap(now);
                    }
                    Sleep(5);
                }
            }
        }
        for (size_t i = 0; i < open.size(); i++)
            PressKey(VK_ESCAPE);
    }
    if (WaitForSingleObject(process.hProcess, ExitLimit) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, ExitLimit);
        times = SubmenuTimes();
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return times;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* classPrefix;
    HWND found;
};

BOOL CALLBACK FindMain(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    if (owner != search->processId || wcsncmp(name, search->classPrefix, wcslen(search->classPrefix)) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// A resident program started for a series of clicks on its icon: its main window found, and at the end
// closed as its "Exit" closes it (ended by force when it does not end).
struct ResidentRun {
    PROCESS_INFORMATION process = {};
    WindowSearch search = {0, nullptr, nullptr};

    ResidentRun(const std::wstring& program, const std::wstring& arguments, const wchar_t* classPrefix) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return;
        search = {process.dwProcessId, classPrefix, nullptr};
        for (DWORD begin = GetTickCount(); !search.found && GetTickCount() - begin < ShowLimit; Sleep(10))
            EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
        // Time for the resident program to read its tree, as it has after a logon before the first click.
        Sleep(3000);
    }
    ~ResidentRun() {
        if (!process.hProcess)
            return;
        if (search.found)
            PostMessageW(search.found, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, ExitLimit) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, ExitLimit);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    HWND Main() const { return search.found; }
    // Opens its menu as a click on its icon does; the popup, or null after the time.
    HWND Click() const {
        PostMessageW(search.found, WM_APP + 1, 1, WM_LBUTTONDOWN);
        return NewPopup(process.dwProcessId, {}, ShowLimit);
    }
};

// A resident program: each run posts the notification message of a click to its window and times its
// menu, then closes it; with a change, a shortcut is added to the tree one second before each click.
std::vector<double> TimeResidentMenus(const std::wstring& program, const std::wstring& arguments,
                                      const wchar_t* classPrefix, const std::wstring& changeIn, Stopwatch& watch) {
    std::vector<double> times;
    ResidentRun resident(program, arguments, classPrefix);
    std::wstring source = changeIn.empty() ? std::wstring() : changeIn + L"\\Group 0\\Folder 0\\Program 0.lnk";
    for (int run = 0; resident.Main() && run < OpenRuns; run++) {
        if (!changeIn.empty()) {
            CopyFileW(source.c_str(), (changeIn + L"\\Added " + std::to_wstring(run) + L".lnk").c_str(), FALSE);
            Sleep(1000);
        }
        watch.Start();
        HWND popup = resident.Click();
        if (!popup)
            break;
        times.push_back(Elapsed(watch));
        PostKey(popup, VK_ESCAPE);
        for (DWORD begin = GetTickCount(); IsWindowVisible(popup) && GetTickCount() - begin < ExitLimit;)
            Sleep(10);
        Sleep(300);
    }
    for (int run = 0; !changeIn.empty() && run < OpenRuns; run++)
        DeleteFileW((changeIn + L"\\Added " + std::to_wstring(run) + L".lnk").c_str());
    return times;
}

// A resident program's search: its menu opened by a click on its icon, then the letter typed that matches
// nothing at the root and so searches the whole tree, timed from the key until the results' popup is
// visible. The first run reads the names to search; the times after it are warm.
std::vector<double> TimeSearches(const std::wstring& program, const std::wstring& arguments, WORD key,
                                 Stopwatch& watch) {
    std::vector<double> times;
    ResidentRun resident(program, arguments, L"Kavrin_");
    for (int run = 0; resident.Main() && run < OpenRuns + 1; run++) {
        HWND root = resident.Click();
        if (!root)
            break;
        // The root painted and idle, as when the user begins to type.
        Sleep(500);
        watch.Start();
        PressKey(key);
        HWND results = NewPopup(resident.process.dwProcessId, {root}, ExitLimit);
        if (!results)
            break;
        times.push_back(Elapsed(watch));
        // Escape goes back to the root (a root of 10,000 takes a second to show again), a second closes it.
        PressKey(VK_ESCAPE);
        NewPopup(resident.process.dwProcessId, {results}, ExitLimit);
        PressKey(VK_ESCAPE);
        for (DWORD begin = GetTickCount();
             !PopupsOf(resident.process.dwProcessId).empty() && GetTickCount() - begin < ExitLimit;)
            Sleep(10);
        Sleep(300);
    }
    return times;
}

// Alternating starts of the floor program and of Veltrix on a warm cache: one run fills Veltrix's own cache
// for the tree, the timed runs then find it warm. A start whose menu never shows is left out.
void TimeWarmStarts(const std::wstring& floorProgram, const std::wstring& veltrix, const std::wstring& arguments,
                    const std::wstring& veltrixCache, int runs, Stopwatch& watch, std::vector<double>& floorTimes,
                    std::vector<double>& open) {
    DeleteFileW(veltrixCache.c_str());
    TimeToMenu(veltrix, arguments, watch, FillLimit);
    for (int run = 0; run < runs; run++) {
        double shown = TimeToMenu(floorProgram, L"", watch);
        if (shown >= 0)
            floorTimes.push_back(shown);
        if ((shown = TimeToMenu(veltrix, arguments, watch)) >= 0)
            open.push_back(shown);
    }
}

// Wine's shell starts winemenubuilder for every shortcut saved, to mirror it in the desktop's own menus:
// thousands of processes that would still be running while the menus are timed. The bench's prefix
// turns it off (an empty override disables a program); on Windows the key means nothing.
void QuietShortcutSaves() {
    HKEY overrides = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &overrides, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(overrides, L"winemenubuilder.exe", 0, REG_SZ, (const BYTE*)L"", sizeof(wchar_t));
    RegCloseKey(overrides);
}

} // namespace

// Sizes may be given as arguments (menu_bench 1000); without them 100, 1000 and 5000 are measured.
// "quick" (menu_bench quick 5000) leaves out the shell figure and times one cold build instead of three,
// for a faster look at the warm figures while working on them; "starts=N" (menu_bench starts=15 1000) times
// only floor_ms and open_ms, over N runs each.
int main(int argc, char** argv) {
    std::vector<int> sizes, flatSizes;
    std::wstring otherVeltrix;
    int coldRuns = Runs;
    // "outside": only the figures seen from outside the program (start, menus, tray), for another build.
    bool outsideOnly = false;
    // "starts=N": only floor_ms and open_ms, from N alternating runs each, for work on the start-up.
    int startsOnly = 0;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "quick"))
            coldRuns = 1;
        else if (!strcmp(argv[i], "outside"))
            outsideOnly = true;
        else if (!strncmp(argv[i], "starts=", 7))
            startsOnly = atoi(argv[i] + 7);
        else if (!strncmp(argv[i], "flat=", 5))
            flatSizes.push_back(atoi(argv[i] + 5));
        else if (!strncmp(argv[i], "veltrix=", 8))
            otherVeltrix.assign(argv[i] + 8, argv[i] + strlen(argv[i]));
        else
            sizes.push_back(atoi(argv[i]));
    }
    if (sizes.empty() && flatSizes.empty()) {
        sizes = {100, 1000, 5000};
        flatSizes = {10000};
    }
    std::vector<std::pair<int, bool>> layouts;
    for (int entries : sizes)
        layouts.emplace_back(entries, false);
    for (int entries : flatSizes)
        layouts.emplace_back(entries, true);
    QuietShortcutSaves();
    CoInitialize(nullptr);
    HWND owner = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    Stopwatch watch;
    watch.UseHighResolution(1);
    std::wstring floorProgram = ProgramFolder() + L"menu_floor.exe";
    std::wstring veltrix = otherVeltrix.empty() ? ShippedProgram() : otherVeltrix;
    // The cache Veltrix.exe keeps in the user's temporary folder.
    std::wstring veltrixCache = std::wstring(temp) + L"Veltrix.sql";

    for (const auto& layout : layouts) {
        int entries = layout.first;
        bool flat = layout.second;
        std::wstring root =
            std::wstring(temp) + (flat ? L"VeltrixBenchFlat-" : L"VeltrixBench-") + std::to_wstring(entries);
        std::wstring database = std::wstring(temp) + L"VeltrixBench.sql";
        TempFolder::RemoveTree(root);
        if (!MakeStartMenu(root, entries, flat)) {
            fprintf(stderr, "menu_bench: cannot lay out %d shortcuts\n", entries);
            return 1;
        }
        MenuOptions::Current().customRoot.Assign(root.c_str());
        std::vector<std::wstring> files;
        Walk(root, &files);

        std::vector<double> bare, scan, shell, cold, write, warm, floorTimes, open;
        std::wstring arguments = L"-r \"" + root + L"\"";
        if (startsOnly > 0) {
            TimeWarmStarts(floorProgram, veltrix, arguments, veltrixCache, startsOnly, watch, floorTimes, open);
            // Starts whose menu never showed (or that did not end) are counted.
            printf("bench entries=%d%s floor_ms=%.1f open_ms=%.1f starts=%d failed=%d\n", entries,
                   flat ? " layout=flat" : "", Median(floorTimes), Median(open), startsOnly,
                   (int)(2 * startsOnly - floorTimes.size() - open.size()));
            fflush(stdout);
            TempFolder::RemoveTree(root);
            continue;
        }
        for (int run = 0; run < (outsideOnly ? 0 : Runs); run++) {
            watch.Start();
            Walk(root, nullptr);
            bare.push_back(Elapsed(watch));
            if (coldRuns < Runs)
                continue;

            watch.Start();
            for (const std::wstring& file : files) {
                SHFILEINFOW info = {};
                SHGetFileInfoW(file.c_str(), 0, &info, sizeof(info),
                               SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON);
            }
            shell.push_back(Elapsed(watch));
        }
        for (int run = 0; run < (outsideOnly ? 0 : Runs); run++) {
            // The quick look scans and builds from the warm cache three times, from the shell once.
            if (run >= coldRuns) {
                IconCache cache;
                cache.Open(database.c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_EXCLUSIVE);
                watch.Start();
                std::unique_ptr<MenuNode> tree = ScanTree();
                scan.push_back(Elapsed(watch));
                watch.Start();
                MenuBuilder(GetModuleHandleW(nullptr), owner, &cache).BuildMenu(*tree);
                warm.push_back(Elapsed(watch));
                continue;
            }
            DeleteFileW(database.c_str());
            IconCache cache;
            cache.Open(database.c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_EXCLUSIVE);
            cache.EnsureSchema();

            watch.Start();
            std::unique_ptr<MenuNode> tree = ScanTree();
            scan.push_back(Elapsed(watch));

            watch.Start();
            MenuBuilder(GetModuleHandleW(nullptr), owner, &cache).BuildMenu(*tree);
            cold.push_back(Elapsed(watch));

            watch.Start();
            CacheWriter::WriteCache(cache, *tree);
            write.push_back(Elapsed(watch));

            tree = ScanTree();
            watch.Start();
            MenuBuilder(GetModuleHandleW(nullptr), owner, &cache).BuildMenu(*tree);
            warm.push_back(Elapsed(watch));
            tree.reset();
            cache.Close();
        }

        std::vector<double> coldOpen, submenuCold, submenuWarm, iconsCold, iconsWarm;
        for (int run = 0; run < OpenRuns; run++) {
            DeleteFileW(veltrixCache.c_str());
            double shown = TimeToMenu(veltrix, arguments, watch);
            if (shown >= 0)
                coldOpen.push_back(shown);
        }
        // The folders of 20: a folder's popup without its rows, then with the rows that run stored.
        for (int run = 0; !flat && run < Runs; run++) {
            DeleteFileW(veltrixCache.c_str());
            SubmenuTimes cold = TimeToSubmenu(veltrix, arguments, watch);
            SubmenuTimes warmed = TimeToSubmenu(veltrix, arguments, watch);
            if (cold.shown >= 0) {
                submenuCold.push_back(cold.shown);
                iconsCold.push_back(cold.painted);
            }
            if (warmed.shown >= 0) {
                submenuWarm.push_back(warmed.shown);
                iconsWarm.push_back(warmed.painted);
            }
        }
        std::vector<double> tray = TimeResidentMenus(veltrix, L"-s " + arguments, L"Kavrin_", L"", watch);
        std::vector<double> trayChanged =
            TimeResidentMenus(veltrix, L"-s " + arguments, L"Kavrin_", flat ? L"" : root, watch);
        std::vector<double> trayFloor = TimeResidentMenus(floorProgram, L"-s", L"MenuFloorTray", L"", watch);

        TimeWarmStarts(floorProgram, veltrix, arguments, veltrixCache, OpenRuns, watch, floorTimes, open);

        // Every "Program N" matches: the most a search compares and ranks. At the root of the nested layout
        // nothing starts with P; of the flat one, nothing shown starts with G (its group folders are empty).
        std::vector<double> searches = TimeSearches(veltrix, L"-s " + arguments, flat ? 'G' : 'P', watch);
        std::vector<double> warmSearches(searches.begin() + (searches.empty() ? 0 : 1), searches.end());
        // The search alone, in this process: the names read from the tree, then one search of them.
        std::vector<double> index, find;
        for (int run = 0; !outsideOnly && run < Runs; run++) {
            std::unique_ptr<MenuNode> tree = ScanTree();
            TreeSearch names;
            watch.Start();
            names.Index(*tree);
            index.push_back(Elapsed(watch));
            std::vector<TreeSearch::Match> matches;
            watch.Start();
            names.Find(flat ? L"g" : L"p", matches);
            find.push_back(Elapsed(watch));
        }

        printf("bench entries=%d%s bare_ms=%.1f scan_ms=%.1f shell_ms=%.1f cold_ms=%.1f write_ms=%.1f warm_ms=%.1f "
               "floor_ms=%.1f open_ms=%.1f per_entry_us=%.1f\n",
               entries, flat ? " layout=flat" : "", Median(bare), Median(scan), Median(shell), Median(cold),
               Median(write), Median(warm), Median(floorTimes), Median(open),
               1000.0 * (Median(scan) + Median(warm)) / entries);
        printf("bench entries=%d%s cold_open_ms=%.1f submenu_cold_ms=%.1f icons_cold_ms=%.1f submenu_warm_ms=%.1f "
               "icons_warm_ms=%.1f tray_ms=%.1f tray_changed_ms=%.1f tray_floor_ms=%.1f\n",
               entries, flat ? " layout=flat" : "", Median(coldOpen), Median(submenuCold), Median(iconsCold),
               Median(submenuWarm), Median(iconsWarm), Median(tray), Median(trayChanged), Median(trayFloor));
        printf("bench entries=%d%s search_ms=%.1f search_first_ms=%.1f search_index_ms=%.1f search_find_ms=%.1f\n",
               entries, flat ? " layout=flat" : "", Median(warmSearches), searches.empty() ? -1.0 : searches[0],
               Median(index), Median(find));
        fflush(stdout);
        TempFolder::RemoveTree(root);
        DeleteFileW(database.c_str());
        DeleteFileW(veltrixCache.c_str());
    }
    DestroyWindow(owner);
    CoUninitialize();
    return 0;
}
