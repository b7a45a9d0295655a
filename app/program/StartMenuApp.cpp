#include <stddef.h>
#include "app/program/StartMenuApp.h"

#include "app/cache/CacheWriter.h"
#include "app/launch/Launcher.h"
#include "app/menus/MenuBuilder.h"
#include "app/program/ProgramEnvironment.h"
#include "app/tree/MenuOptions.h"
#include "base/ComApartment.h"
#include "base/CommonControls.h"
#include "base/FileSystem.h"
#include "framework/AboutDialog.h"
#include "framework/VersionInfo.h"
#include "resources/resource.h"
#include "sysinfo/OsVersion.h"

#include <new>

namespace {

const wchar_t* const SettingsKey = L"Software\\Koravent\\Veltrix";

} // namespace

int StartMenuApp::IsPortable() const {
    if (commandLine.GetNumber(L"p") == 1)
        return 1;
    WString marker;
    if (!VersionInfo::ModuleDirectory(nullptr, marker))
        return 0;
    marker.Append(L"portable.dat");
    return FileExists(marker);
}

void StartMenuApp::RegisterOptions() {
    commandLine.AddOption(L"p", CommandLineParser::SWITCH, 0, 0, nullptr);
    commandLine.AddOption(L"s", CommandLineParser::SWITCH, 0, 0, nullptr);
    commandLine.AddOption(L"e", CommandLineParser::SWITCH, 0, 0, nullptr);
    commandLine.AddOption(L"o", CommandLineParser::NUMBER, 0, 0, nullptr);
    commandLine.AddStringOption(L"r", CommandLineParser::TEXT, nullptr, nullptr);
}

int StartMenuApp::InitApplication() {
    RegisterOptions();
    commandLine.ParseCommandLine();
    portable = IsPortable();
    MenuOptions& options = MenuOptions::Current();
    options.showEmptyFolders = (int)commandLine.GetNumber(L"e");
    options.folderOrder = (int)commandLine.GetNumber(L"o");
    const wchar_t* root = commandLine.GetString(L"r");
    options.customRoot.Assign(root ? root : L"");
    // Once mode: the tree is read while the window is made (under Wine the first window loads the display
    // driver, the dearest part of the start after the libraries themselves) and the cache is opened.
    if (commandLine.GetNumber(L"s") != 1)
        StartScan();
    return AppWindow::InitApplication();
}

LRESULT StartMenuApp::OnCreate() {
    GetCursorPos(&startPoint);

    int onceMode = commandLine.GetNumber(L"s") != 1;
    // A resident instance starts COM now; once mode when its menu is on screen (UseCom).
    if (!onceMode)
        UseCom();
    // One notification-area icon: a second resident start opens the first one's menu and ends.
    if (!onceMode && !trayInstance.Claim()) {
        TrayInstance::OpenRunningMenu(TrayMessage);
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }

    settings.Open(portable ? SettingsStore::INI_FILE : SettingsStore::REGISTRY, HKEY_CURRENT_USER, SettingsKey,
                  nullptr);
    hotkey.Attach(&settings, nullptr);
    // After the settings, which may name another report server (a test's closed local port).
    updates.Attach(&settings, window, portable);
    updates.ConfigureCrashReports();
    // Before the menu: in once mode the menu's loop runs inside this function until it is dismissed.
    // The worker thread starts only when a week has passed; otherwise this reads two values.
    updates.StartWeeklyCheck();

    // A cache that cannot be opened is no error: the menus then come from the shell alone.
    WString cachePath;
    // Normal locking: each menu build and the write at exit take the file's lock and give it back, so a
    // resident instance and a once-mode one both read and both write their rows.
    if (CacheFilePath(portable, cachePath) &&
        iconCache.Open(cachePath, IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL))
        iconCache.EnsureSchema();

    menus.SetOwner(instance, window, FetchedMessage);
    if (onceMode) {
        trayMode = 0;
        PostMessageW(window, ShowOnceMessage, 0, 0);
    } else {
        trayMode = 1;
        SetIdentity();
        trayIcon.Create(window, IDI_VELTRIX, TrayMessage, L"Veltrix", instance);
        // A combination another program holds is shown as such in the About box.
        hotkey.Attach(&settings, window);
        hotkey.RegisterStored();
        trayInstance.Mark(window);
        // The tree is read now and again after each change, so that a click finds its menu ready.
        watch.Start(RootFlags(), window, TreeReadyMessage);
    }
    return 0;
}

void StartMenuApp::ShowOnce() {
    ShowStartMenu(startPoint);
    // Only now: reading the version block waits for the loader, which the common controls hold
    // while they load, and nothing shows the hidden window's name before a chosen item's action.
    SetIdentity();
    // Dismissed without a choice: a choice would have arrived as WM_MENUCOMMAND before this timer.
    if (IsWindow(window))
        SetTimer(window, CloseTimer, 1000, nullptr);
}

void StartMenuApp::TakeFetched() {
    if (menus.OnFetched() > 0)
        rowsDirty = 1;
}

void StartMenuApp::CloseIfAsked() {
    // Posted, not sent: this runs inside the handler of the message that opened the menu, which must
    // return before the window goes.
    if (closeAsked && !menuOpen && !actionRunning && IsWindow(window))
        PostClose();
}

void StartMenuApp::UseCom() {
    // The shell's calls (ShellExecuteExW, its context menus, the automation object, the picture object
    // the cache writes some icons with) need COM on the calling thread; every command is run on this
    // thread, for its whole life. COM's libraries are loaded only now, not before the first menu: a
    // menu built from the cache needs none of them.
    if (!com.IsInitialised())
        com.Init(0);
    // Once mode, from its menu on and so before any command: the shell's components are given the process
    // reference to hold while they still work for it (see the close timer).
    if (!trayMode && menuShown)
        shellReference.Publish();
}

void StartMenuApp::SetIdentity() {
    SetIcons(IDI_VELTRIX);
    VersionInfo version;
    SetText(version.VersionTitle(L"Veltrix", nullptr, nullptr));
}

INT_PTR StartMenuApp::ShowAbout() {
    AboutDialog about(&settings, &updates, &hotkey);
    return about.DoModal(instance, IDD_ABOUT, 0, nullptr);
}

int StartMenuApp::StartScan() {
    // The tree owns the menus being tracked: replacing it now would free them under the menu loop.
    if (menuOpen || actionRunning)
        return 0;
    scan.Finish();
    scanStarted = 0;
    tree.reset();
    tree.reset(new (std::nothrow) MenuNode(nullptr));
    if (!tree)
        return 0;
    tree->flags = RootFlags();
    scanStarted = scan.Start(tree.get());
    return scanStarted;
}

unsigned StartMenuApp::RootFlags() {
    return MenuOptions::Current().customRoot.IsEmpty() ? (NODE_COMMON | NODE_USER) : NODE_CUSTOM_ROOT;
}

void StartMenuApp::AddFixedEntries() {
    tree->AddSeparator();
    tree->AddCommand(CMD_ORGANIZE);
    tree->AddCommand(CMD_ABOUT);
    tree->AddCommand(CMD_CONTROL_PANEL);
    tree->AddCommand(CMD_ADMIN_CONSOLE);
    tree->AddCommand(CMD_RUN);
    if (trayMode) {
        tree->AddSeparator();
        tree->AddCommand(CMD_EXIT);
    }
    tree->AddSeparator();
    tree->AddCommand(CMD_SHUTDOWN);
}

void StartMenuApp::TakeUpReadyTree() {
    // The tree owns the menus being tracked and the node of a running action: it stays until they end.
    if (menuOpen || actionRunning)
        return;
    std::unique_ptr<MenuNode> fresh = watch.TakeReady();
    if (!fresh)
        return;
    // What the old tree fetched is kept first: the new one then finds it in the cache.
    TakeFetched();
    WriteFetchedRows(1);
    menus.BuildRoot(nullptr, nullptr);
    tree = std::move(fresh);
    AddFixedEntries();
    menus.BuildRoot(tree.get(), &iconCache);
    tree->menu.NotifyByPosition();
}

void StartMenuApp::WriteFetchedRows(int now) {
    KillTimer(window, WriteTimer);
    // A resident instance fetches the icons of its root menu before the first click; until a menu has
    // been shown it leaves the cache alone, as one whose menu was never opened always did.
    if (!rowsDirty || !menuShown || !tree || !iconCache.IsOpen())
        return;
    // Never while a menu is open (the write holds the file for a moment), nor while more names and icons
    // are on their way: one write for a run of them.
    if (!now && (menuOpen || actionRunning || menus.Busy())) {
        ScheduleWrite();
        return;
    }
    rowsDirty = 0;
    UseCom();
    CacheWriter::WriteCache(iconCache, *tree);
}

namespace {

BOOL CALLBACK HideMenuWindow(HWND candidate, LPARAM) {
    wchar_t name[16] = L"";
    GetClassNameW(candidate, name, 16);
    if (lstrcmpW(name, L"#32768") == 0 && IsWindowVisible(candidate))
        ShowWindow(candidate, SW_HIDE);
    return TRUE;
}

} // namespace

int StartMenuApp::ShowStartMenu(POINT point) {
    if (menuOpen || actionRunning)
        return 0;
    if (trayMode && watch.Running()) {
        // A click right after a change waits for its scan; otherwise the tree and menu are ready.
        watch.WaitCurrent(5000);
        TakeUpReadyTree();
    }
    if (!tree || !tree->menu.Handle() || (trayMode && !watch.Running())) {
        // Once mode, or a tray instance without its watch: the tree is read for this menu.
        if (tree && !scanStarted) {
            TakeFetched();
            WriteFetchedRows(1);
            menus.BuildRoot(nullptr, nullptr);
        }
        if (!scanStarted && !StartScan())
            return 0;
        scan.Finish();
        scanStarted = 0;
        AddFixedEntries();
        // Only the root's popup now; each folder's is filled when it opens.
        menus.BuildRoot(tree.get(), &iconCache);
        tree->menu.NotifyByPosition();
    }
    // A right click shows an item's context menu instead of choosing it.
    tree->menu.SetRightButtonChooses(0);
    menuOpen = 1;
    menuShown = 1;
    typeAhead.Start(window);
    rightClick.Start(window);
    int shown = 0;
    do {
        reopenMenu = 0;
        shown = tree->menu.Show(&point);
    } while (shown && reopenMenu);
    rightClick.Stop();
    typeAhead.Stop();
    menuOpen = 0;
    // Wine ends the Start menu's loop when the context menu over it ends, and may leave an open submenu
    // painted with no loop behind it, deaf to the mouse and keys; Windows leaves no menu window after it.
    if (IsWine())
        EnumThreadWindows(GetCurrentThreadId(), HideMenuWindow, 0);
    // A verb chosen in an item's context menu runs now that the menus are closed: a box it shows is not
    // left under the Start menu, and a change it makes to the folders is read by the next menu.
    if (contextMenu.HasChosen()) {
        actionRunning = 1;
        UseCom();
        contextMenu.RunChosen(window);
        actionRunning = 0;
    }
    if (trayMode && rowsDirty)
        ScheduleWrite();
    CloseIfAsked();
    return shown;
}

LRESULT StartMenuApp::OnMenuCommand(WPARAM position, HMENU menu) {
    KillTimer(window, CloseTimer);
    MENUITEMINFOW info = {};
    info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menu, (UINT)position, TRUE, &info))
        return 0;
    MenuItemData* record = MenuItemData::FromItemData(info.dwItemData);
    if (!record || !record->node || actionRunning)
        return 0;
    actionRunning = 1;
    UseCom();
    Launcher launcher(this);
    int launched = launcher.Launch(*record->node);
    actionRunning = 0;
    // Once mode ends by the close timer, which waits while the shell still carries out the command.
    if (launched == 1 && !trayMode)
        SetTimer(window, CloseTimer, 100, nullptr);
    else
        CloseIfAsked();
    // A change seen while the action ran (the About box stays open for long) is taken up now.
    if (trayMode && IsWindow(window))
        TakeUpReadyTree();
    return 0;
}

LRESULT StartMenuApp::OnMenuRightClick(WPARAM position, HMENU menu) {
    const MenuNode* node =
        contextMenu.IsOpen() || actionRunning ? nullptr : ShellContextMenu::NodeOfItem(menu, position);
    if (!node)
        return 0;
    POINT point = {0, 0};
    GetCursorPos(&point);
    // The letters typed go to the shell's menu meanwhile, not to ours beneath it; and a tray click must
    // not replace the tree whose item the shell's menu belongs to.
    typeAhead.Pause(1);
    actionRunning = 1;
    UseCom();
    int shown = contextMenu.Show(window, *node, point, GetKeyState(VK_SHIFT) < 0);
    actionRunning = 0;
    typeAhead.Pause(0);
    // A verb was chosen: the menus close and it runs after them (ShowStartMenu).
    if (shown == 1 || closeAsked)
        EndMenu();
    // Wine's menu loop ends the menu beneath when a nested one (TPM_RECURSE) ends; Windows keeps it open.
    // Under Wine the Start menu is shown again at once, as Windows would have kept it; only when a menu
    // was shown (a separator or "(Empty)" has none).
    else if (shown == 0 && IsWine())
        reopenMenu = 1;
    return 0;
}

// The menu that draws an item: the one of the item's node's parent.
static OwnerDrawMenu* MenuOfItem(ULONG_PTR itemData) {
    MenuItemData* record = MenuItemData::FromItemData(itemData);
    return record && record->node && record->node->parent ? &record->node->parent->menu : nullptr;
}

LRESULT StartMenuApp::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The shell's context menu, while it is open, fills and draws its own items first.
    LRESULT handled = 0;
    if (contextMenu.HandleMessage(message, wParam, lParam, &handled))
        return handled;
    switch (message) {
        case WM_DRAWITEM: {
            const DRAWITEMSTRUCT* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (OwnerDrawMenu* menu = draw ? MenuOfItem(draw->itemData) : nullptr)
                return menu->Draw(draw);
            break;
        }
        case WM_MEASUREITEM: {
            MEASUREITEMSTRUCT* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (OwnerDrawMenu* menu = measure ? MenuOfItem(measure->itemData) : nullptr)
                return menu->Measure(measure);
            break;
        }
        case WM_ENTERIDLE:
            // The menu is on screen and waits for the user: the moment for what its commands will need, and
            // in once mode for the common controls, which the menus' image lists need as soon as an icon
            // comes from the shell (a menu from the cache draws its icons without them). They load on a
            // thread of their own: under Wine that takes about ten milliseconds.
            if (wParam == MSGF_MENU) {
                if (!trayMode)
                    CommonControls::LoadInBackground();
                UseCom();
            }
            break;
        case WM_TIMER:
            if (wParam == WriteTimer) {
                WriteFetchedRows(0);
                return 0;
            }
            // The close timer. A once-mode run whose context menu opened a window of the shell's
            // (Properties) lives until that window is closed; one whose command the shell still carries out
            // on a thread of its own (a DDE or DelegateExecute verb, a property sheet not shown yet) while
            // the shell holds its process reference, for ShellWorkWaitMs at most: a component that never
            // lets go must not keep an invisible process for good.
            if (!trayMode &&
                (ShellContextMenu::ShellWindowsOpen(window) || shellReference.KeepsProcess(ShellWorkWaitMs)))
                return 0;
            KillTimer(window, CloseTimer);
            Close();
            return 0;
        case WM_HOTKEY:
            // Pressed again while the menu is open, it closes the menu; otherwise it opens the menu at the
            // mouse as a click on the notification icon does, with the keyboard in it.
            if (hotkey.IsHotkeyId(wParam) && menuOpen && !contextMenu.IsOpen())
                EndMenu();
            else if (hotkey.IsHotkeyId(wParam))
                SendMessageW(window, TrayMessage, 0, WM_LBUTTONDOWN);
            return 0;
        case WM_MENURBUTTONUP:
            return OnMenuRightClick(wParam, (HMENU)lParam);
        case FetchedMessage:
            TakeFetched();
            if (rowsDirty && trayMode)
                ScheduleWrite();
            return 0;
        case ShowOnceMessage:
            ShowOnce();
            return 0;
        case TreeReadyMessage:
            TakeUpReadyTree();
            return 0;
        case WM_MENUCOMMAND:
            return OnMenuCommand(wParam, (HMENU)lParam);
        case WM_INITMENUPOPUP:
            // Filled before the menu measures it, and before the letters typed into it are looked up. The
            // shell's context menu fills its own popups.
            if (!contextMenu.IsOpen())
                menus.OnInitMenuPopup((HMENU)wParam);
            typeAhead.OnInitMenuPopup((HMENU)wParam);
            break;
        case WM_UNINITMENUPOPUP:
            typeAhead.OnUninitMenuPopup((HMENU)wParam);
            break;
        case WM_MENUSELECT:
            typeAhead.OnMenuSelect((HMENU)lParam);
            break;
        case TrayMessage:
            if (lParam == WM_LBUTTONDOWN || lParam == WM_LBUTTONDBLCLK || lParam == WM_RBUTTONDOWN) {
                // A double click sends a second notification while the first one's menu is open (the
                // menu loop dispatches it); it must not rebuild the tree under that menu, nor under
                // an action still running from it (the About box).
                if (menuOpen || actionRunning)
                    return 1;
                POINT cursor = {0, 0};
                GetCursorPos(&cursor);
                ShowStartMenu(cursor);
                // The choice is posted as the menu closes; a notification queued before it would replace
                // the tree first and leave the choice naming a destroyed menu. So it is handled now.
                MSG choice;
                if (PeekMessageW(&choice, window, WM_MENUCOMMAND, WM_MENUCOMMAND, PM_REMOVE))
                    OnMenuCommand(choice.wParam, (HMENU)choice.lParam);
                // A tree scanned while the menu was open replaces the one it showed.
                TakeUpReadyTree();
                return 1;
            }
            break;
        default:
            // A once-mode run's About box, asking about or changing the hotkey this instance holds.
            if (trayMode && HotkeyPreference::IsRequest(message))
                return hotkey.OnRequest(wParam, lParam);
            break;
    }
    return AppWindow::WindowProc(message, wParam, lParam);
}

namespace {

// Asks the dialogs and message boxes of this thread to close, as their Cancel would.
BOOL CALLBACK CloseDialog(HWND candidate, LPARAM) {
    wchar_t name[16] = L"";
    GetClassNameW(candidate, name, 16);
    if (lstrcmpW(name, L"#32770") == 0)
        PostMessageW(candidate, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

LRESULT StartMenuApp::OnClose() {
    // Asked to close (an update's restart, the installer, Exit) while a menu is tracked or an action runs
    // from one: the tree owns those menus and that action's node, so the menu loop and the action's boxes
    // end first, and the window goes when they have returned.
    if (menuOpen || actionRunning) {
        closeAsked = 1;
        EndMenu();
        EnumThreadWindows(GetCurrentThreadId(), CloseDialog, 0);
        return 0;
    }
    // The check may be asking the user through this window, or downloading: its requests are cancelled
    // and it ends before the window goes, so that Exit works whatever the network does.
    updates.Abort();
    DestroyWindow(window);
    return 0;
}

LRESULT StartMenuApp::OnDestroy() {
    hotkey.Unregister();
    trayIcon.Remove();
    watch.Stop();
    // A tree still being read was never shown: it has nothing to write.
    scan.Finish();
    if (scanStarted)
        tree.reset();
    scanStarted = 0;
    // The icons of the menus shown are given a moment to arrive (the menu is gone, nobody waits for
    // this window), so that the next start finds them in the cache.
    menus.Stop(tree ? ExitFetchWaitMs : 0);
    // The rows fetched and not written yet; an instance whose menu never opened writes nothing.
    if (tree && menuShown && iconCache.IsOpen()) {
        UseCom();
        CacheWriter::WriteCache(iconCache, *tree);
    }
    menus.BuildRoot(nullptr, nullptr);
    tree.reset();
    settings.Close();
    com.Uninit();
    PostQuitMessage(0);
    return 0;
}
