#pragma once
// The application: reads the options, then either shows the menu once at the mouse and ends, or stays
// in the notification area and shows the menu at each click. Its window receives the menus' messages and
// dispatches them; the tree behind the menu is the session's (MenuSession).

#include "app/launch/CommandHost.h"
#include "app/menus/ShellContextMenu.h"
#include "app/popup/MenuRightClick.h"
#include "app/popup/MenuTypeAhead.h"
#include "app/program/HotkeyPreference.h"
#include "app/program/MenuSearch.h"
#include "app/program/MenuSession.h"
#include "app/program/TrayInstance.h"
#include "app/program/UpdateLink.h"
#include "app/shell/ProcessReference.h"
#include "base/ComApartment.h"
#include "framework/AppWindow.h"
#include "framework/CommandLineParser.h"
#include "framework/SettingsStore.h"
#include "framework/TrayIcon.h"

#include <memory>

class StartMenuApp : public AppWindow, public CommandHost {
public:
    // The notification icon's callback message.
    static const UINT TrayMessage = WM_APP + 1;
    // The session's write timer is MenuSession::WriteTimer.
    static const UINT_PTR CloseTimer = 1;
    // How long a once-mode run outlives its menu while the shell holds its process reference with no window
    // up (see the close timer): enough for what the shell finishes on its own threads after a command (a DDE
    // server or DelegateExecute handler started from a cold disk, a property sheet on a slow share reading
    // its pages before its window shows), while a component that never lets go costs an invisible process
    // half a minute, not its whole session.
    static const DWORD ShellWorkWaitMs = 30000;
    // Names and icons fetched on the fetcher's thread are waiting.
    static const UINT FetchedMessage = WM_APP + 2;
    // The tree watch has a new tree.
    static const UINT TreeReadyMessage = WM_APP + 3;
    // Once mode: the window is made, the menu is shown (outside WM_CREATE, so that the window is whole
    // while the menu's loop runs).
    static const UINT ShowOnceMessage = WM_APP + 4;
    // The shell reports a change in its Applications folder.
    static const UINT AppsChangedMessage = WM_APP + 5;
    // The Windows key was pressed and released alone (wParam: which one).
    static const UINT WinKeyMessage = WM_APP + 6;
    // The commands of the notification icon's short menu.
    enum TrayCommand : UINT { TRAY_ABOUT = 1, TRAY_EXIT = 2 };

    StartMenuApp() = default;
    ~StartMenuApp() override = default;

    // 1 with "-p", or when a file "portable.dat" lies beside the program.
    int IsPortable() const;
    // The menu beside the point, as PopupMenu::Show places it with those alignment flags.
    int ShowStartMenu(POINT point, UINT alignment = 0);
    // The About box, on the program's settings and update checker.
    INT_PTR ShowAbout() override;
    void Exit() override { Close(); }

    // The publisher's key the update check verifies downloads with (see AutoUpdater::SetPublicKey); the
    // entry point passes the key its executable was built with.
    void SetUpdateKey(const wchar_t* base64) { updates.SetPublicKey(base64); }

    int TrayMode() const { return session.RunMode() == MenuSession::RESIDENT; }
    int Portable() const { return portable; }
    const MenuNode* Tree() const { return session.Tree(); }

protected:
    // Reads the options, and in once mode starts what can run while the window is made.
    int InitApplication() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCreate() override;
    LRESULT OnClose() override;
    LRESULT OnDestroy() override;

private:
    void RegisterOptions();
    // With "-u" in a process running elevated: the same start asked of the desktop's shell, as the
    // signed-in user; 1 when it took it (this run then ends).
    int HandOverToUser();
    // The window's icons and its title with the version, where the system names the program's windows.
    void SetIdentity();
    // COM on this thread, started the first time a command, a context menu or a cache write needs it.
    void UseCom();
    LRESULT OnMenuCommand(WPARAM position, HMENU menu);
    // A right click on an item of the open menu: the shell's context menu of its file.
    LRESULT OnMenuRightClick(WPARAM position, HMENU menu);
    // The owner-drawn items' WM_DRAWITEM and WM_MEASUREITEM; 0 when the item is not one of ours.
    static int DrawItem(UINT message, LPARAM lParam, LRESULT* result);
    // A click on the notification icon: the menu at the mouse, then its choice; from the keyboard (the
    // hotkey, the Windows key) where Windows' own Start menu opens.
    void OnTrayClick(int fromKeyboard);
    // The hotkey or the Windows key: opens the menu, or closes it when it is open.
    void OnMenuKey();
    // A right click on the notification icon: the program's short menu, About... and Exit.
    void ShowTrayMenu();
    // Gives one of our popups as it opens a height of whole rows when it must scroll.
    void FitRows(HMENU menu);
    // Runs the verb chosen in an item's context menu, once the menus are closed.
    void RunChosenVerb();
    // Once mode: the menu at the mouse, then the wait for a choice.
    void ShowOnce();
    // A close asked for while a menu or an action runs happens when they have ended.
    void CloseIfAsked();

    ComApartment com;
    MenuSession session;
    TrayIcon trayIcon;
    SettingsStore settings;
    CommandLineParser commandLine;
    UpdateLink updates;
    int portable = 0;
    TrayInstance trayInstance;
    // Letters typed into the open menus.
    MenuTypeAhead typeAhead;
    // Letters that match nothing in the root: a search of the whole tree.
    MenuSearch search;
    ShellContextMenu contextMenu;
    // Once mode: held by the shell's components while they still work for a command.
    ProcessReference shellReference;
    MenuRightClick rightClick;
    // The keyboard shortcut: registered in tray mode only, where it opens the menu.
    HotkeyPreference hotkey;
    // Set when the menu should be shown again as soon as its loop ends (see OnMenuRightClick).
    int reopenMenu = 0;
    // WM_CLOSE came while a menu or an action ran: the window goes once they have ended.
    int closeAsked = 0;
    // The work area's height on the monitor of the menu open, and the popup last fitted to it while its
    // scroll arrows have not been measured yet.
    int workHeight = 0;
    HMENU fittedPopup = nullptr;
    // Where the mouse was when the program started: once mode shows its menu there.
    POINT startPoint = {0, 0};
};
