#pragma once
// The application: reads the options, then either shows the menu once at the mouse and ends, or stays
// in the notification area, keeps its tree and root menu between clicks and takes up a new tree when
// the Start Menu folders change. It owns the one tree.

#include "app/cache/IconCache.h"
#include "app/launch/CommandHost.h"
#include "app/menus/LazyMenus.h"
#include "app/menus/ShellContextMenu.h"
#include "app/popup/MenuRightClick.h"
#include "app/popup/MenuTypeAhead.h"
#include "app/program/HotkeyPreference.h"
#include "app/program/TrayInstance.h"
#include "app/program/UpdateLink.h"
#include "app/shell/ProcessReference.h"
#include "app/tree/MenuNode.h"
#include "app/tree/TreeScan.h"
#include "app/tree/TreeWatch.h"
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
    static const UINT_PTR CloseTimer = 1;
    // Tray mode: the rows fetched since the last write are written when this fires and no menu is open.
    static const UINT_PTR WriteTimer = 2;
    static const UINT WriteDelayMs = 1500;
    // How long the end of the program waits for icons asked for and not fetched yet: with the fetcher's
    // and the tree watch's own bounded waits and the cache write, Exit ends the program within 2 s.
    static const DWORD ExitFetchWaitMs = 1200;
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

    StartMenuApp() = default;
    ~StartMenuApp() override = default;

    // 1 with "-p", or when a file "portable.dat" lies beside the program.
    int IsPortable() const;
    int ShowStartMenu(POINT point);
    // The About box, on the program's settings and update checker.
    INT_PTR ShowAbout() override;
    void Exit() override { Close(); }

    // The publisher's key the update check verifies downloads with (see AutoUpdater::SetPublicKey); the
    // entry point passes the key its executable was built with.
    void SetUpdateKey(const wchar_t* base64) { updates.SetPublicKey(base64); }

    int TrayMode() const { return trayMode; }
    int Portable() const { return portable; }
    const MenuNode* Tree() const { return tree.get(); }

protected:
    // Reads the options, and in once mode starts what can run while the window is made.
    int InitApplication() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCreate() override;
    LRESULT OnClose() override;
    LRESULT OnDestroy() override;

private:
    void RegisterOptions();
    // The window's icons and its title with the version, where the system names the program's windows.
    void SetIdentity();
    // COM on this thread, started the first time a command, a context menu or a cache write needs it.
    void UseCom();
    LRESULT OnMenuCommand(WPARAM position, HMENU menu);
    // A right click on an item of the open menu: the shell's context menu of its file.
    LRESULT OnMenuRightClick(WPARAM position, HMENU menu);
    // Replaces the tree by a new one whose scan runs until ShowStartMenu needs it.
    int StartScan();
    static unsigned RootFlags();
    // The fixed entries below the folder contents.
    void AddFixedEntries();
    // Tray mode: replaces the tree by the watch's newer one, unless a menu or an action uses it.
    void TakeUpReadyTree();
    // Writes the rows fetched since the last write, or, unless now is 1, waits for a better moment.
    void WriteFetchedRows(int now);
    void ScheduleWrite() { SetTimer(window, WriteTimer, WriteDelayMs, nullptr); }
    // Paints the names and icons fetched; notes that they are to be written.
    void TakeFetched();
    // Once mode: the menu at the mouse, then the wait for a choice.
    void ShowOnce();
    // A close asked for while a menu or an action runs happens when they have ended.
    void CloseIfAsked();

    ComApartment com;
    std::unique_ptr<MenuNode> tree;
    // After the tree: it is finished before the tree it reads goes away.
    TreeScan scan;
    // 1 from StartScan until ShowStartMenu has the scanned tree.
    int scanStarted = 0;
    // After the tree: its fetcher thread ends before the tree goes.
    LazyMenus menus;
    TreeWatch watch;
    // Names or icons were fetched since the cache was last written.
    int rowsDirty = 0;
    IconCache iconCache;
    TrayIcon trayIcon;
    SettingsStore settings;
    CommandLineParser commandLine;
    UpdateLink updates;
    int portable = 0;
    int trayMode = 0;
    // 1 while TrackPopupMenu runs on the tree's root menu.
    int menuOpen = 0;
    // 1 once a menu has been shown.
    int menuShown = 0;
    // 1 while a chosen item's action runs: the About box's modal loop dispatches tray clicks, which
    // must not replace the tree the action came from.
    int actionRunning = 0;
    TrayInstance trayInstance;
    // Letters typed into the open menus.
    MenuTypeAhead typeAhead;
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
    // Where the mouse was when the program started: once mode shows its menu there.
    POINT startPoint = {0, 0};
};
