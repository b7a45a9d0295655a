#pragma once
// What every framework window and dialog has: the handle, the module whose resources it uses, its
// icons and its smallest size.

#include "base/Library.h"

#include <windows.h>

class WindowBase {
public:
    WindowBase() = default;
    virtual ~WindowBase();
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    HWND Handle() const { return window; }
    HINSTANCE Instance() const { return instance; }

    // Loads the icon resource at the small and the large icon size and gives both to the window; a dpi
    // other than 0 scales both sizes from the system's DPI to it.
    int SetIcons(UINT iconId, int dpi = 0);
    int SetText(const wchar_t* text);
    int SetItemText(int itemId, const wchar_t* text);
    HWND Item(int itemId) const;
    void CheckButton(int itemId, int state);
    int IsButtonChecked(int itemId) const;

    // The large icon size rounded up to a standard icon size: 16, 32, 48 or 256.
    static int StandardIconSize(int metric);

protected:
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    Library library;
    HICON smallIcon = nullptr;
    HICON largeIcon = nullptr;
    int minWidth = -1;
    int minHeight = -1;
};
