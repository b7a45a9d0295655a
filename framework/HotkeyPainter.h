#pragma once
// Paints a hotkey control in colours of the owner's. The control draws its text in the system's window
// colours whatever its parent answers to WM_CTLCOLOREDIT, and its sunken edge in the system's 3D colours;
// here it draws black on white into a picture whose greys are then painted in the owner's background and
// text colours, and the edge becomes a line in the owner's frame colour.

#include "framework/SubclassHook.h"

#include <windows.h>

class HotkeyPainter {
public:
    HotkeyPainter() = default;
    ~HotkeyPainter() { Detach(); }
    HotkeyPainter(const HotkeyPainter&) = delete;
    HotkeyPainter& operator=(const HotkeyPainter&) = delete;

    int Attach(HWND control, COLORREF background, COLORREF text, COLORREF frame);
    void Detach();
    HWND Control() const { return control; }
    // Whether the control is printing itself into the picture painted here. Whatever it draws outside of
    // that takes the parent's own colours.
    int Printing() const { return printing; }
    // The parent's answer to the control's WM_CTLCOLOREDIT while it prints: black on white.
    static HBRUSH OnCtlColor(HDC dc);

private:
    static int HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData);
    // 0 when the control cannot be painted here.
    int Paint();
    void PaintFrame();

    HWND control = nullptr;
    int printing = 0;
    COLORREF background = 0;
    COLORREF text = 0;
    COLORREF frame = 0;
    SubclassHook<HOOK_HOTKEY> hook;
};
