#include "framework/DarkMode.h"

#include "base/AppMode.h"
#include "sysinfo/OsVersion.h"

#include <wchar.h>

namespace {

// uxtheme's dark-mode functions have no names, only ordinals, and exist from Windows 10 1809 (build
// 17763) on; before it the same ordinals are other functions or none, so they are never looked up there.
const DWORD FirstDarkBuild = 17763;
// From 1903 ordinal 135 takes a mode instead of a flag: 2 forces dark menus, 3 light ones.
const DWORD PreferredModeBuild = 18362;
const int ForceDark = 2, ForceLight = 3;

// DWMWA_USE_IMMERSIVE_DARK_MODE: 20 since the attribute was documented, 19 on the builds of 2018-2020
// before it was.
const DWORD DarkTitleAttribute = 20, EarlyDarkTitleAttribute = 19;

DWORD RunningBuild() {
    OSVERSIONINFOEXW version;
    if (!ReadTrueVersion(version) || version.dwMajorVersion < 10)
        return 0;
    return version.dwBuildNumber;
}

} // namespace

DarkMode& DarkMode::Get() {
    static DarkMode mode;
    return mode;
}

DarkMode::DarkMode() : build(RunningBuild()) {
    if (build < FirstDarkBuild || !uxtheme.Load(L"uxtheme.dll"))
        return;
    setAppMode = uxtheme.Get<SetAppModeFn>(MAKEINTRESOURCEA(135));
    allowForWindow = uxtheme.Get<AllowForWindowFn>(MAKEINTRESOURCEA(133));
    refreshPolicy = uxtheme.Get<VoidFn>(MAKEINTRESOURCEA(104));
    flushMenuThemes = uxtheme.Get<VoidFn>(MAKEINTRESOURCEA(136));
    // All of them or none: a uxtheme.dll that reports a new build without having them (Wine numbers
    // its named functions up to about 110, so that 104 is one of those) would be called with the wrong
    // arguments.
    if (!setAppMode || !allowForWindow || !refreshPolicy || !flushMenuThemes) {
        setAppMode = nullptr;
        allowForWindow = nullptr;
        refreshPolicy = nullptr;
        flushMenuThemes = nullptr;
        uxtheme.Free();
    }
}

int DarkMode::Refresh() {
    int was = dark;
    dark = AppsUseDarkMode();
    // Flushing the menu themes makes Windows load them again: only when the mode changed.
    if (applied && was == dark)
        return dark;
    applied = 1;
    if (setAppMode) {
        if (build >= PreferredModeBuild)
            setAppMode(dark ? ForceDark : ForceLight);
        else
            setAppMode(dark);
    }
    if (refreshPolicy)
        refreshPolicy();
    // Menus keep the theme they were first drawn with until the themes are flushed.
    if (flushMenuThemes)
        flushMenuThemes();
    return dark;
}

void DarkMode::PrepareMenuOwner(HWND owner) {
    if (allowForWindow && owner)
        allowForWindow(owner, dark ? TRUE : FALSE);
}

int DarkMode::SetTitleBar(HWND window, int darkBar) {
    DWORD running = Get().build;
    if (running < FirstDarkBuild || !window)
        return 0;
    Library dwmapi;
    if (!dwmapi.Load(L"dwmapi.dll"))
        return 0;
    typedef HRESULT(WINAPI * SetAttributeFn)(HWND, DWORD, LPCVOID, DWORD);
    SetAttributeFn setAttribute = dwmapi.Get<SetAttributeFn>("DwmSetWindowAttribute");
    if (!setAttribute)
        return 0;
    BOOL value = darkBar ? TRUE : FALSE;
    if (SUCCEEDED(setAttribute(window, DarkTitleAttribute, &value, sizeof(value))))
        return 1;
    return SUCCEEDED(setAttribute(window, EarlyDarkTitleAttribute, &value, sizeof(value)));
}

int DarkMode::IsModeChange(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SETTINGCHANGE)
        return 0;
    // SystemParametersInfo announces its changes by their action; the settings of the app mode announce
    // theirs by the area's name.
    const wchar_t* area = (const wchar_t*)lParam;
    return wParam == SPI_SETHIGHCONTRAST || (area && !wcscmp(area, L"ImmersiveColorSet"));
}
