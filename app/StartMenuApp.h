#pragma once
// The application: reads the options, then either shows the menu once at the mouse and ends, or stays
// in the notification area and shows a freshly scanned menu at every click. It owns the one tree.

#include "app/CommandHost.h"
#include "app/GlobalHotkey.h"
#include "app/IconCache.h"
#include "app/MenuNode.h"
#include "app/MenuRightClick.h"
#include "app/MenuTypeAhead.h"
#include "app/ShellContextMenu.h"
#include "app/TrayInstance.h"
#include "app/TreeScan.h"
#include "framework/AppWindow.h"
#include "base/ComApartment.h"
#include "framework/CommandLineParser.h"
#include "framework/HotkeySetting.h"
#include "framework/SettingsStore.h"
#include "framework/TrayIcon.h"
#include "framework/UpdateSwitch.h"
#include "update/AutoUpdater.h"

#include <memory>

class StartMenuApp : public AppWindow, private UpdateSwitch, private HotkeySetting, public CommandHost {
public:
    // The notification icon's callback message.
    static const UINT TrayMessage = WM_APP + 1;
    static const UINT_PTR CloseTimer = 1;

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
    void SetUpdateKey(const wchar_t* base64) { updater.SetPublicKey(base64); }

    int TrayMode() const { return trayMode; }
    int Portable() const { return portable; }
    const MenuNode* Tree() const { return tree.get(); }
    // Where the cache lives: beside the program in portable mode, else in the user's temporary folder.
    static int CachePath(int portableMode, WString& path);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCreate() override;
    LRESULT OnClose() override;
    LRESULT OnDestroy() override;

private:
    void RegisterOptions();
    static void FixEnvironment();
    LRESULT OnMenuCommand(WPARAM position, HMENU menu);
    // A right click on an item of the open menu: the shell's context menu of its file.
    LRESULT OnMenuRightClick(WPARAM position, HMENU menu);
    // Replaces the tree by a new one whose scan runs until ShowStartMenu needs it.
    int StartScan();
    // Asks the update server for a newer version, at most weekly, unless "AutoUpdate" is off.
    void StartUpdateCheck();
    void UpdateUrl(WString& url);
    int FormatLastCheck(WString& text) override;
    int CheckNow() override;
    // The keyboard shortcut ("Hotkey"): registered in tray mode only, where it opens the menu.
    WORD Hotkey() override;
    int HotkeyAvailable() override;
    int ChangeHotkey(WORD combination) override;
    // The crash reporter's report server, from the build or the setting "ReportHost".
    void ConfigureCrashReports();

    ComApartment com;
    std::unique_ptr<MenuNode> tree;
    // After the tree: it is finished before the tree it reads goes away.
    TreeScan scan;
    // 1 from StartScan until ShowStartMenu has the scanned tree.
    int scanStarted = 0;
    IconCache iconCache;
    TrayIcon trayIcon;
    SettingsStore settings;
    CommandLineParser commandLine;
    AutoUpdater updater;
    int portable = 0;
    int trayMode = 0;
    // 1 while TrackPopupMenu runs on the tree's root menu.
    int menuOpen = 0;
    // 1 while a chosen item's action runs: the About box's modal loop dispatches tray clicks, which
    // must not replace the tree the action came from.
    int actionRunning = 0;
    TrayInstance trayInstance;
    // Letters typed into the open menus.
    MenuTypeAhead typeAhead;
    ShellContextMenu contextMenu;
    MenuRightClick rightClick;
    GlobalHotkey hotkey;
    // Set when the menu should be shown again as soon as its loop ends (see OnMenuRightClick).
    int reopenMenu = 0;
};
