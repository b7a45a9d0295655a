#include "app/program/StartMenuApp.h"

#include "app/launch/Launcher.h"
#include "app/program/TaskbarCorner.h"
#include "app/program/ThreadWindows.h"
#include "app/shell/UnelevatedRun.h"
#include "app/tree/MenuOptions.h"
#include "base/ComApartment.h"
#include "base/CommonControls.h"
#include "base/FileSystem.h"
#include "framework/AboutDialog.h"
#include "framework/DarkMode.h"
#include "framework/MonitorDpi.h"
#include "framework/StringTable.h"
#include "framework/VersionInfo.h"
#include "resources/resource.h"
#include "sysinfo/OsVersion.h"

#include <stddef.h>

#include <string>

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
    commandLine.AddOption(L"u", CommandLineParser::SWITCH, 0, 0, nullptr);
}

int StartMenuApp::HandOverToUser() {
    // "-u": started by the installer, which may run with an administrator's rights. The menu must run with
    // the signed-in user's own: it is started again through the desktop's shell, and this run ends.
    if (commandLine.GetNumber(L"u") != 1 || !UnelevatedRun::IsElevated())
        return 0;
    std::wstring program(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, &program[0], (DWORD)program.size());
    if (!length || length >= program.size())
        return 0;
    program.resize(length);
    com.Init(ComApartment::SINGLE_THREADED);
    int handed = UnelevatedRun::Run(program.c_str(), commandLine.GetNumber(L"s") == 1 ? L"-s" : L"");
    com.Uninit();
    return handed;
}

int StartMenuApp::InitApplication() {
    RegisterOptions();
    commandLine.ParseCommandLine();
    if (HandOverToUser())
        return 0;
    portable = IsPortable();
    MenuOptions& options = MenuOptions::Current();
    options.showEmptyFolders = (int)commandLine.GetNumber(L"e");
    options.folderOrder = (int)commandLine.GetNumber(L"o");
    const wchar_t* root = commandLine.GetString(L"r");
    options.customRoot.Assign(root ? root : L"");
    // Once mode: the tree is read while the window is made (under Wine the first window loads the display
    // driver, the dearest part of the start after the libraries themselves) and the cache is opened.
    if (commandLine.GetNumber(L"s") != 1)
        session.StartScan();
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

    session.SetOwner(instance, window, onceMode ? MenuSession::ONCE : MenuSession::RESIDENT, &com, FetchedMessage,
                     TreeReadyMessage);
    session.OpenCache(portable);
    session.OpenUsage(portable);
    session.SetApps(settings.ReadInt(L"Apps", 1) != 0, AppsChangedMessage);
    if (onceMode) {
        PostMessageW(window, ShowOnceMessage, 0, 0);
    } else {
        SetIdentity();
        trayIcon.Create(window, IDI_VELTRIX, TrayMessage, L"Veltrix", instance);
        updates.ConfirmUpdate();
        // A combination another program holds is shown as such in the About box.
        hotkey.Attach(&settings, window, WinKeyMessage);
        hotkey.RegisterStored();
        trayInstance.Mark(window);
        session.StartWatch();
    }
    return 0;
}

void StartMenuApp::ShowOnce() {
    // The menu is ready to show: the version that built it starts as it should.
    if (session.PrepareMenu(MonitorDpi::AtPoint(startPoint)))
        updates.ConfirmUpdate();
    ShowStartMenu(startPoint);
    // Only now: reading the version block waits for the loader, which the common controls hold
    // while they load, and nothing shows the hidden window's name before a chosen item's action.
    SetIdentity();
    // Dismissed without a choice: a choice would have arrived as WM_MENUCOMMAND before this timer.
    if (IsWindow(window))
        SetTimer(window, CloseTimer, 1000, nullptr);
}

void StartMenuApp::CloseIfAsked() {
    // Posted, not sent: this runs inside the handler of the message that opened the menu, which must
    // return before the window goes.
    if (closeAsked && !session.InUse() && IsWindow(window))
        PostClose();
}

void StartMenuApp::UseCom() {
    // The shell's calls (ShellExecuteExW, its context menus, the automation object, the picture object
    // the cache writes some icons with) need COM on the calling thread; every command is run on this
    // thread, for its whole life. COM's libraries are loaded only now, not before the first menu: a
    // menu built from the cache needs none of them.
    if (!com.IsInitialised())
        com.Init(ComApartment::SINGLE_THREADED);
    // Once mode, from its menu on and so before any command: the shell's components are given the process
    // reference to hold while they still work for it (see the close timer).
    if (!TrayMode() && session.MenuShown())
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

int StartMenuApp::ShowStartMenu(POINT point, UINT alignment) {
    // The app mode as it is now, for the popups drawn here and the context menus Windows draws: a change
    // of it while resident shows in the next menu.
    int dark = DarkMode::Get().Refresh();
    DarkMode::Get().PrepareMenuOwner(window);
    OwnerDrawMenu::UseDarkColours(dark);
    session.SetFrequent((int)settings.ReadInt(L"Frequent", 0));
    MenuNode* tree = session.PrepareMenu(MonitorDpi::AtPoint(point));
    if (!tree)
        return 0;
    // The height the popups may take on the monitor the menu opens on: above the taskbar.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    workHeight = GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &monitor)
                     ? monitor.rcWork.bottom - monitor.rcWork.top
                     : GetSystemMetrics(SM_CYFULLSCREEN);
    tree->menu.ApplyBackground();
    int shown = 0;
    {
        MenuSession::UseScope use(session, MenuSession::USE_MENU);
        // The search first: while its results are open it reads the letters before the type-ahead does.
        search.Start(window, session, typeAhead, settings.ReadInt(L"Search", 1) != 0);
        typeAhead.Start(window);
        rightClick.Start(window);
        do {
            reopenMenu = 0;
            shown = search.Show(tree->menu, point, alignment);
        } while (search.TakeSwitch() || (shown && reopenMenu));
        rightClick.Stop();
        typeAhead.Stop();
        search.Stop();
    }
    // Wine ends the Start menu's loop when the context menu over it ends, and may leave an open submenu
    // painted with no loop behind it, deaf to the mouse and keys; Windows leaves no menu window after it.
    if (IsWine())
        ThreadWindows::HideMenus();
    RunChosenVerb();
    session.MenuClosed();
    CloseIfAsked();
    return shown;
}

void StartMenuApp::FitRows(HMENU menu) {
    OwnerDrawMenu* popup = contextMenu.IsOpen() ? nullptr : OwnerDrawMenu::OfMenu(menu);
    if (!popup)
        return;
    popup->FitRows(workHeight);
    MENUINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIM_MAXHEIGHT;
    if (GetMenuInfo(menu, &info) && info.cyMax)
        fittedPopup = menu;
}

void StartMenuApp::RunChosenVerb() {
    // A verb chosen in an item's context menu runs now that the menus are closed: a box it shows is not
    // left under the Start menu, and a change it makes to the folders is read by the next menu.
    if (!contextMenu.HasChosen())
        return;
    MenuSession::UseScope use(session, MenuSession::USE_ACTION);
    UseCom();
    contextMenu.RunChosen(window);
}

LRESULT StartMenuApp::OnMenuCommand(WPARAM position, HMENU menu) {
    KillTimer(window, CloseTimer);
    MENUITEMINFOW info = {};
    info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menu, (UINT)position, TRUE, &info))
        return 0;
    MenuItemData* record = MenuItemData::FromItemData(info.dwItemData);
    if (!record || !record->node || session.InUse(MenuSession::USE_ACTION))
        return 0;
    int launched = 0;
    {
        MenuSession::UseScope use(session, MenuSession::USE_ACTION);
        UseCom();
        // Counted before it runs: the node may be gone once the action has run (Exit).
        session.CountStart(*record->node);
        Launcher launcher(this);
        launched = launcher.Launch(*record->node);
    }
    // Once mode ends by the close timer, which waits while the shell still carries out the command.
    if (launched == 1 && !TrayMode())
        SetTimer(window, CloseTimer, 100, nullptr);
    else
        CloseIfAsked();
    // A change seen while the action ran (the About box stays open for long) is taken up now.
    if (TrayMode() && IsWindow(window))
        session.TakeUpReadyTree();
    return 0;
}

LRESULT StartMenuApp::OnMenuRightClick(WPARAM position, HMENU menu) {
    const MenuNode* node = contextMenu.IsOpen() || session.InUse(MenuSession::USE_ACTION)
                               ? nullptr
                               : ShellContextMenu::NodeOfItem(menu, position);
    if (!node)
        return 0;
    POINT point = {0, 0};
    GetCursorPos(&point);
    // The letters typed go to the shell's menu meanwhile, not to ours beneath it; and a tray click must
    // not replace the tree whose item the shell's menu belongs to.
    typeAhead.Pause(1);
    int shown = 0;
    {
        MenuSession::UseScope use(session, MenuSession::USE_ACTION);
        UseCom();
        shown = contextMenu.Show(window, *node, point,
                                 GetKeyState(VK_SHIFT) < 0 ? ShellContextMenu::EXTENDED_VERBS
                                                           : ShellContextMenu::NORMAL_VERBS);
    }
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

// The menu that draws an item: the one it was added to (a search's results show nodes of many folders).
static OwnerDrawMenu* MenuOfItem(ULONG_PTR itemData) {
    MenuItemData* record = MenuItemData::FromItemData(itemData);
    return record ? record->owner : nullptr;
}

int StartMenuApp::DrawItem(UINT message, LPARAM lParam, LRESULT* result) {
    if (message == WM_DRAWITEM) {
        const DRAWITEMSTRUCT* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        OwnerDrawMenu* menu = draw ? MenuOfItem(draw->itemData) : nullptr;
        if (menu)
            *result = menu->Draw(draw);
        return menu != nullptr;
    }
    MEASUREITEMSTRUCT* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    OwnerDrawMenu* menu = measure ? MenuOfItem(measure->itemData) : nullptr;
    if (menu)
        *result = menu->Measure(measure);
    return menu != nullptr;
}

void StartMenuApp::OnTrayClick(int fromKeyboard) {
    TaskbarCorner::Place place = {{0, 0}, 0};
    if (!fromKeyboard || !TaskbarCorner::Find(&place))
        GetCursorPos(&place.point);
    ShowStartMenu(place.point, place.alignment);
    // The choice is posted as the menu closes; a notification queued before it would replace the tree
    // first and leave the choice naming a destroyed menu. So it is handled now.
    MSG choice;
    if (PeekMessageW(&choice, window, WM_MENUCOMMAND, WM_MENUCOMMAND, PM_REMOVE))
        OnMenuCommand(choice.wParam, (HMENU)choice.lParam);
    // A tree scanned while the menu was open replaces the one it showed.
    session.TakeUpReadyTree();
}

void StartMenuApp::ShowTrayMenu() {
    PopupMenu menu;
    StringTable strings;
    if (!menu.Create(instance, window) ||
        !menu.InsertItem(0, PopupMenu::BY_POSITION, strings.Load(IDS_ABOUT), 0, TRAY_ABOUT, 0, PopupMenu::TEXT_ITEM,
                         nullptr) ||
        !menu.InsertItem(1, PopupMenu::BY_POSITION, strings.Load(IDS_EXIT), 0, TRAY_EXIT, 0, PopupMenu::TEXT_ITEM,
                         nullptr))
        return;
    // Drawn by Windows, dark in the dark app mode as the shell's context menus are.
    DarkMode::Get().Refresh();
    DarkMode::Get().PrepareMenuOwner(window);
    POINT point = {0, 0};
    GetCursorPos(&point);
    UINT chosen = 0;
    {
        // The hotkey closes it as it closes the Start menu; a click on the icon meanwhile opens nothing.
        MenuSession::UseScope use(session, MenuSession::USE_MENU);
        chosen = menu.Choose(&point);
    }
    menu.Destroy();
    if (chosen == TRAY_ABOUT) {
        MenuSession::UseScope use(session, MenuSession::USE_ACTION);
        ShowAbout();
        CloseIfAsked();
    } else if (chosen == TRAY_EXIT) {
        Close();
    }
}

void StartMenuApp::OnMenuKey() {
    // Pressed again while the menu is open, the key closes it, as Windows' own Start menu does; while an
    // action runs from the menu (the About box, a context menu) it does nothing.
    if (session.InUse(MenuSession::USE_MENU) && !contextMenu.IsOpen())
        EndMenu();
    else if (!session.InUse())
        OnTrayClick(1);
}

LRESULT StartMenuApp::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The shell's context menu, while it is open, fills and draws its own items first.
    LRESULT handled = 0;
    if (contextMenu.HandleMessage(message, wParam, lParam, &handled))
        return handled;
    switch (message) {
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
            if (DrawItem(message, lParam, &handled))
                return handled;
            break;
        case WM_ENTERIDLE:
            // The menu is on screen and waits for the user: the moment for what its commands will need, and
            // in once mode for the common controls, which the menus' image lists need as soon as an icon
            // comes from the shell (a menu from the cache draws its icons without them). They load on a
            // thread of their own: under Wine that takes about ten milliseconds.
            if (wParam == MSGF_MENU) {
                if (!TrayMode())
                    CommonControls::LoadInBackground();
                UseCom();
                if (search.Enabled())
                    session.PrepareSearch();
                // A popup fitted to whole rows is on screen now, scrolled to its top: what the system's
                // arrows take is read from it once.
                if (fittedPopup && fittedPopup == typeAhead.OpenMenu()) {
                    if (OwnerDrawMenu* popup = OwnerDrawMenu::OfMenu(fittedPopup))
                        OwnerDrawMenu::LearnScrollOverhead(fittedPopup, MenuTypeAhead::PopupWindowOf(fittedPopup),
                                                           popup->Dpi());
                }
                fittedPopup = nullptr;
            }
            break;
        case WM_TIMER:
            if (wParam == MenuSession::WriteTimer) {
                session.OnWriteTimer();
                return 0;
            }
            if (wParam == MenuSession::UsageTimer) {
                session.OnUsageTimer();
                return 0;
            }
            if (wParam == UpdateLink::ConfirmTimer) {
                updates.ConfirmUpdate();
                return 0;
            }
            // The close timer. A once-mode run whose context menu opened a window of the shell's
            // (Properties) lives until that window is closed; one whose command the shell still carries out
            // on a thread of its own (a DDE or DelegateExecute verb, a property sheet not shown yet) while
            // the shell holds its process reference, for ShellWorkWaitMs at most: a component that never
            // lets go must not keep an invisible process for good.
            if (!TrayMode() &&
                (ShellContextMenu::ShellWindowsOpen(window) || shellReference.KeepsProcess(ShellWorkWaitMs)))
                return 0;
            KillTimer(window, CloseTimer);
            Close();
            return 0;
        case WM_HOTKEY:
            if (hotkey.IsHotkeyId(wParam))
                OnMenuKey();
            return 0;
        case WinKeyMessage:
            OnMenuKey();
            return 0;
        case WM_SETTINGCHANGE:
            if (DarkMode::IsModeChange(message, wParam, lParam))
                DarkMode::Get().Refresh();
            break;
        case WM_MENURBUTTONUP:
            return OnMenuRightClick(wParam, (HMENU)lParam);
        case FetchedMessage:
            session.OnFetched();
            return 0;
        case ShowOnceMessage:
            ShowOnce();
            return 0;
        case TreeReadyMessage:
            session.TakeUpReadyTree();
            return 0;
        case AppsChangedMessage:
            session.OnAppsChanged();
            return 0;
        case WM_MENUCOMMAND:
            return OnMenuCommand(wParam, (HMENU)lParam);
        case WM_INITMENUPOPUP:
            // Filled before the menu measures it, and before the letters typed into it are looked up. The
            // shell's context menu fills its own popups.
            if (!contextMenu.IsOpen())
                session.OnInitMenuPopup((HMENU)wParam);
            typeAhead.OnInitMenuPopup((HMENU)wParam);
            search.OnInitMenuPopup((HMENU)wParam);
            FitRows((HMENU)wParam);
            break;
        case WM_UNINITMENUPOPUP:
            typeAhead.OnUninitMenuPopup((HMENU)wParam);
            break;
        case WM_MENUSELECT:
            typeAhead.OnMenuSelect((HMENU)lParam);
            break;
        case TrayMessage:
            // The right button's release, as Windows' own notification icons do (WM_CONTEXTMENU: from the
            // keyboard, where the shell sends it).
            if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU) {
                if (!session.InUse())
                    ShowTrayMenu();
                return 1;
            }
            if (lParam == WM_LBUTTONDOWN || lParam == WM_LBUTTONDBLCLK) {
                // A double click sends a second notification while the first one's menu is open (the
                // menu loop dispatches it); it must not rebuild the tree under that menu, nor under
                // an action still running from it (the About box).
                if (!session.InUse())
                    OnTrayClick(0);
                return 1;
            }
            break;
        default:
            // A once-mode run's About box, asking about or changing the hotkey this instance holds.
            if (TrayMode() && HotkeyPreference::IsRequest(message))
                return hotkey.OnRequest(wParam, lParam);
            break;
    }
    return AppWindow::WindowProc(message, wParam, lParam);
}

LRESULT StartMenuApp::OnClose() {
    // Asked to close (an update's restart, the installer, Exit) while a menu is tracked or an action runs
    // from one: the tree owns those menus and that action's node, so the menu loop and the action's boxes
    // end first, and the window goes when they have returned.
    if (session.InUse()) {
        closeAsked = 1;
        EndMenu();
        ThreadWindows::CloseDialogs();
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
    session.End();
    settings.Close();
    com.Uninit();
    PostQuitMessage(0);
    return 0;
}
