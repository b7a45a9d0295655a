#pragma once
// A thin static control turned into a separator line, drawn by the visual style where there is one and
// as an etched edge otherwise.

#include "framework/SubclassHook.h"
#include "framework/ThemeData.h"

#include <windows.h>

class DividerControl {
public:
    DividerControl() = default;
    ~DividerControl() { Detach(); }
    DividerControl(const DividerControl&) = delete;
    DividerControl& operator=(const DividerControl&) = delete;

    // Moves and sizes the control to the line's own height (or width) of 5 pixels.
    int Attach(HWND control);
    void Detach();
    int IsHorizontal() const { return horizontal; }
    // A plain line in this colour instead of the theme's; CLR_INVALID goes back to the theme's.
    void SetLineColor(COLORREF color);

private:
    static int HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData);
    void Paint();

    HWND control = nullptr;
    ThemeData theme;
    SubclassHook<HOOK_DIVIDER> hook;
    int horizontal = 1;
    COLORREF lineColor = CLR_INVALID;
};
