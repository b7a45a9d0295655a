#include "framework/DialogScaler.h"

#include "base/Library.h"
#include "base/ScopedDc.h"

#include <utility>

namespace {

// SetDialogDpiChangeBehavior's DDC_DISABLE_ALL, in user32 from Windows 10 1703 on.
const int DialogScalingOff = 0x1;

int Scale(int length, int to, int from) {
    return MulDiv(length, to, from);
}

} // namespace

void DialogScaler::Attach(HWND target) {
    dialog = target;
    font.Release();
    Library user(L"user32.dll");
    typedef UINT(WINAPI * GetDpiForWindowFn)(HWND);
    GetDpiForWindowFn dpiForWindow = user.Get<GetDpiForWindowFn>("GetDpiForWindow");
    dpi = dpiForWindow ? (int)dpiForWindow(dialog) : 0;
    if (!dpi) {
        ScopedDc screen(nullptr);
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
    }
    // From Windows 10 1703 on, the dialog manager scales a per-monitor (v2) dialog made from a template by
    // itself: it answers WM_GETDPISCALEDSIZE from the template's font, moves and sizes the controls and
    // sends them the template's font made again, but leaves alone the fonts the program set, and the custom
    // controls here build their own. Scaling half the dialog one way and half another would not keep its
    // proportions, so the system's handling is turned off (DDC_DISABLE_ALL) and OnDpiChanged does all of it
    // from the suggested rectangle, which is then the window's own scaled linearly. Earlier systems send
    // WM_DPICHANGED to per-monitor windows but scale nothing of a dialog: OnDpiChanged is all there is.
    typedef BOOL(WINAPI * SetDialogDpiChangeBehaviorFn)(HWND, int, int);
    if (SetDialogDpiChangeBehaviorFn behaviour = user.Get<SetDialogDpiChangeBehaviorFn>("SetDialogDpiChangeBehavior"))
        behaviour(dialog, DialogScalingOff, DialogScalingOff);
}

HFONT DialogScaler::Font() const {
    return font.Handle() ? font.As<HFONT>() : (HFONT)SendMessageW(dialog, WM_GETFONT, 0, 0);
}

int DialogScaler::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    int newDpi = LOWORD(wParam);
    if (!dialog || !suggested || newDpi <= 0)
        return 0;
    SetWindowPos(dialog, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (newDpi == dpi)
        return 1;
    // The dialog's font again at the new size; the template's own stays with the dialog manager, which
    // deletes it with the dialog, so the new one is never given to the dialog itself, only to its controls.
    HFONT previous = Font();
    LOGFONTW description = {};
    GdiObject scaled;
    if (previous && GetObjectW(previous, sizeof(description), &description)) {
        description.lfHeight = Scale(description.lfHeight, newDpi, dpi);
        scaled.CreateFont(description);
    }
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT area;
        GetWindowRect(child, &area);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
        // Both edges scaled from where they are, so that neighbours stay as close as they were.
        int left = Scale(area.left, newDpi, dpi), top = Scale(area.top, newDpi, dpi);
        SetWindowPos(child, nullptr, left, top, Scale(area.right, newDpi, dpi) - left,
                     Scale(area.bottom, newDpi, dpi) - top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (scaled.Handle() && (HFONT)SendMessageW(child, WM_GETFONT, 0, 0) == previous)
            SendMessageW(child, WM_SETFONT, (WPARAM)scaled.Handle(), FALSE);
    }
    if (scaled.Handle())
        font = std::move(scaled);
    dpi = newDpi;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 1;
}
