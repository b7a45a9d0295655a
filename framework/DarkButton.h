#pragma once
// Buttons painted in the dialogs' dark palette, from their NM_CUSTOMDRAW. Push buttons ignore the colour
// messages and are drawn light under every theme without the dark Explorer one; a check box is drawn
// with the classic white box once its theme is taken away so that its text takes the dialog's colour,
// and under a theme its text is black whatever the colour messages say. Both are drawn whole here.

#include <windows.h>

#include <commctrl.h>

class DarkButton {
public:
    // Whether the control is of the window class, by name in any case.
    static int IsClass(HWND control, const wchar_t* name);
    static int IsPushButton(HWND control);
    // Paints a push button or a check box at its erase or paint stage; 0 for the other stages and kinds,
    // which the system goes on with.
    static int Paint(const NMCUSTOMDRAW& draw);

private:
    static void PaintPush(const NMCUSTOMDRAW& draw, int isDefault);
    static void PaintCheckBox(const NMCUSTOMDRAW& draw);
};
