#pragma once
// The colours of the program's dialogs in the app mode the user chose. In light mode and in high contrast
// the dialogs keep the colours they always had; in dark mode this gives them Windows 11's dark palette:
// the brushes and text colours for the colour messages, the dark title bar, the controls' dark themes, and
// push buttons painted here.

#include "base/Library.h"
#include "framework/ColorBrush.h"
#include "framework/DarkPalette.h"
#include "framework/HotkeyPainter.h"

#include <windows.h>

class DialogColors {
public:
    DialogColors() = default;
    DialogColors(const DialogColors&) = delete;
    DialogColors& operator=(const DialogColors&) = delete;

    // Reads the app mode and gives it to the dialog: its title bar, its controls' themes, a repaint of the
    // whole. 1 when dark.
    int Apply(HWND dialog);
    int IsDark() const { return dark; }
    // The light colour in light mode, the palette's in dark mode.
    COLORREF Text(COLORREF light) const { return dark ? DarkPalette::Text : light; }
    COLORREF SecondaryText(COLORREF light) const { return dark ? DarkPalette::SecondaryText : light; }
    // WM_CTLCOLORDLG, ...STATIC, ...BTN and ...EDIT in dark mode: the brush, with the text colours set in
    // the device context; null in light mode, where the dialog answers as it always did.
    HBRUSH OnCtlColor(UINT message, HDC dc, HWND control) const;
    // Lets go of the controls painted here, before the dialog goes.
    void Detach() { hotkey.Detach(); }
    // A push button's NM_CUSTOMDRAW in dark mode: painted here and *result set; 0 when the system paints it.
    int OnNotify(const NMHDR* header, LRESULT* result) const;

private:
    void ThemeControl(HWND control);

    typedef HRESULT(WINAPI* SetWindowThemeFn)(HWND, LPCWSTR, LPCWSTR);
    Library uxtheme;
    SetWindowThemeFn setWindowTheme = nullptr;
    ColorBrush background;
    ColorBrush editBackground;
    HotkeyPainter hotkey;
    int dark = 0;
    // Whether the controls carry the dark themes, so that light mode leaves untouched what it never changed.
    int themed = 0;
};
