#include "framework/DialogColors.h"

#include "framework/DarkButton.h"
#include "framework/DarkMode.h"

#include <commctrl.h>

int DialogColors::Apply(HWND dialog) {
    // The menus Windows draws for the box (its system menu, an edit field's context menu) follow the mode
    // too, also when it changes while the box is open.
    dark = DarkMode::Get().Refresh();
    DarkMode::Get().PrepareMenuOwner(dialog);
    if (dark && !background.Create(DarkPalette::Background))
        dark = 0;
    if (dark)
        editBackground.Create(DarkPalette::EditBackground);
    if (!dark && !themed)
        return 0;
    DarkMode::SetTitleBar(dialog, dark);
    // Windows 10 paints a title bar in its new colours only at its next change of activation: an active box
    // is made to paint it again now.
    if (IsWindowVisible(dialog) && GetActiveWindow() == dialog) {
        SendMessageW(dialog, WM_NCACTIVATE, FALSE, 0);
        SendMessageW(dialog, WM_NCACTIVATE, TRUE, 0);
    }
    // SetWindowTheme exists from XP on; uxtheme is loaded here because the program also starts without it.
    if (!setWindowTheme && uxtheme.Load(L"uxtheme.dll"))
        setWindowTheme = uxtheme.Get<SetWindowThemeFn>("SetWindowTheme");
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ThemeControl(child);
    themed = dark;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    return dark;
}

void DialogColors::ThemeControl(HWND control) {
    int isHotkey = DarkButton::IsClass(control, L"msctls_hotkey32");
    if (isHotkey && dark)
        hotkey.Attach(control, DarkPalette::EditBackground, DarkPalette::Text, DarkPalette::Frame);
    else if (isHotkey)
        hotkey.Detach();
    if (!setWindowTheme)
        return;
    // Null and null takes back what was set: the control draws with the user's theme again.
    if (!dark) {
        setWindowTheme(control, nullptr, nullptr);
        return;
    }
    if (DarkButton::IsClass(control, L"Edit") || isHotkey) {
        // The dark theme of the file dialogs' boxes: a dark frame around the colours answered here.
        setWindowTheme(control, L"DarkMode_CFD", nullptr);
    } else if (DarkButton::IsClass(control, L"Button") && !DarkButton::IsPushButton(control)) {
        // A themed check box draws its text in black whatever WM_CTLCOLORSTATIC asks, also under the dark
        // Explorer theme of Windows 10. Without a theme it takes the colours answered here, should its
        // painting by DarkButton ever not be asked for.
        setWindowTheme(control, L"", L"");
    }
}

HBRUSH DialogColors::OnCtlColor(UINT message, HDC dc, HWND control) const {
    if (!dark)
        return nullptr;
    if (control && control == hotkey.Control() && hotkey.Printing())
        return HotkeyPainter::OnCtlColor(dc);
    SetTextColor(dc, DarkPalette::Text);
    if (message == WM_CTLCOLOREDIT)
        return editBackground.OnCtlColor(dc);
    return background.OnCtlColor(dc);
}

int DialogColors::OnNotify(const NMHDR* header, LRESULT* result) const {
    // Buttons ignore the colour messages in part or whole (see DarkButton); in dark mode they are painted
    // here from the first stage they announce.
    if (!dark || !header || header->code != NM_CUSTOMDRAW ||
        !DarkButton::Paint(*reinterpret_cast<const NMCUSTOMDRAW*>(header)))
        return 0;
    *result = CDRF_SKIPDEFAULT;
    return 1;
}
