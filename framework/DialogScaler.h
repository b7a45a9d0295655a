#pragma once
// Follows a dialog to a screen of another DPI (WM_DPICHANGED): the window takes the rectangle the system
// suggests, every child control is moved and sized in proportion, and the dialog's font is made again at
// the new size for the controls that use it.

#include "base/GdiObject.h"

#include <windows.h>

class DialogScaler {
public:
    DialogScaler() = default;
    DialogScaler(const DialogScaler&) = delete;
    DialogScaler& operator=(const DialogScaler&) = delete;

    // Called from WM_INITDIALOG: notes the dialog's DPI and takes its DPI changes over from the system.
    void Attach(HWND dialog);
    // WM_DPICHANGED; 1 when the dialog was scaled. The dialog refits its own fonts and icons afterwards.
    int OnDpiChanged(WPARAM wParam, LPARAM lParam);
    int Dpi() const { return dpi; }
    // The dialog's font at its present DPI.
    HFONT Font() const;

private:
    HWND dialog = nullptr;
    int dpi = USER_DEFAULT_SCREEN_DPI;
    GdiObject font;
};
