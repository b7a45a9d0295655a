#pragma once
// The parts of the dark app mode that Windows draws itself: the menus it draws for this process (the
// notification icon's, the shell's context menus), through uxtheme's unnamed functions, and a window's
// title bar, through DWM. Both are looked up at run time on the builds known to have them; elsewhere
// nothing happens and the program looks as it always did.

#include "base/Library.h"

#include <windows.h>

class DarkMode {
public:
    // The process's one instance, used on the user-interface thread.
    static DarkMode& Get();

    // Reads the app mode again and gives it to the menus Windows draws; 1 when dark.
    int Refresh();
    int IsDark() const { return dark; }
    // Lets the menus Windows draws for this owner window follow the mode; called before each is tracked.
    void PrepareMenuOwner(HWND owner);
    // A dark or a light title bar for the window; 0 where the system draws only light ones.
    static int SetTitleBar(HWND window, int darkBar);
    // Whether a WM_SETTINGCHANGE announces a change of the app mode or of the accent colours, or high
    // contrast turned on or off.
    static int IsModeChange(UINT message, WPARAM wParam, LPARAM lParam);

private:
    DarkMode();
    DarkMode(const DarkMode&) = delete;
    DarkMode& operator=(const DarkMode&) = delete;

    typedef int(WINAPI* SetAppModeFn)(int);
    typedef BOOL(WINAPI* AllowForWindowFn)(HWND, BOOL);
    typedef void(WINAPI* VoidFn)();

    Library uxtheme;
    // Ordinal 135: AllowDarkModeForApp(BOOL) on build 17763, SetPreferredAppMode(int) from 18362 on.
    SetAppModeFn setAppMode = nullptr;
    AllowForWindowFn allowForWindow = nullptr;
    VoidFn refreshPolicy = nullptr;
    VoidFn flushMenuThemes = nullptr;
    DWORD build = 0;
    int dark = 0;
    // The mode was given to uxtheme at least once.
    int applied = 0;
};
