#pragma once
// The visual-styles data of one window and class list. uxtheme.dll is bound at run time: where it or a
// function is missing, the drawing calls report 0 and the caller draws plainly.

#include "base/Library.h"
#include "base/WString.h"

#include <windows.h>

class ThemeData {
public:
    ThemeData() = default;
    ~ThemeData() { Close(); }
    ThemeData(const ThemeData&) = delete;
    ThemeData& operator=(const ThemeData&) = delete;

    // A null class list succeeds without a theme handle.
    int Open(HWND window, const wchar_t* classList);
    int DrawBackground(HDC dc, int part, int state, const RECT& rect);
    int IsPartiallyTransparent(int part, int state);
    int DrawParentBackground(HDC dc, const RECT* rect);
    void Close();

    HANDLE Handle() const { return theme; }

private:
    typedef HANDLE(WINAPI* OpenThemeDataFn)(HWND, LPCWSTR);
    typedef HRESULT(WINAPI* CloseThemeDataFn)(HANDLE);
    typedef BOOL(WINAPI* IsThemeActiveFn)();
    typedef HRESULT(WINAPI* DrawThemeBackgroundFn)(HANDLE, HDC, int, int, const RECT*, const RECT*);
    typedef BOOL(WINAPI* IsThemeBackgroundPartiallyTransparentFn)(HANDLE, int, int);
    typedef HRESULT(WINAPI* DrawThemeParentBackgroundFn)(HWND, HDC, const RECT*);

    Library uxtheme;
    OpenThemeDataFn openThemeData = nullptr;
    CloseThemeDataFn closeThemeData = nullptr;
    IsThemeActiveFn isThemeActive = nullptr;
    DrawThemeBackgroundFn drawThemeBackground = nullptr;
    IsThemeBackgroundPartiallyTransparentFn isPartiallyTransparent = nullptr;
    DrawThemeParentBackgroundFn drawParentBackground = nullptr;
    HANDLE theme = nullptr;
    HWND window = nullptr;
    WString classList;
};
