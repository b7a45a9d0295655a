#include "framework/DialogColors.h"

#include "base/AppMode.h"
#include "base/GdiObject.h"
#include "base/ScopedSelect.h"
#include "framework/DarkMode.h"

#include <commctrl.h>

namespace {

const COLORREF ButtonFace = RGB(51, 51, 51);
const COLORREF ButtonHot = RGB(69, 69, 69);
const COLORREF ButtonPressed = RGB(40, 40, 40);
const COLORREF DefaultButtonEdge = RGB(160, 160, 160);
const COLORREF DisabledText = RGB(120, 120, 120);

int IsClass(HWND control, const wchar_t* name) {
    wchar_t found[32] = L"";
    GetClassNameW(control, found, 32);
    return lstrcmpiW(found, name) == 0;
}

int IsPushButton(HWND control) {
    LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    return IsClass(control, L"Button") && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

void Fill(HDC dc, const RECT& area, COLORREF color) {
    GdiObject brush(CreateSolidBrush(color));
    FillRect(dc, &area, brush.As<HBRUSH>());
}

void PaintButton(const NMCUSTOMDRAW& draw) {
    HWND button = draw.hdr.hwndFrom;
    RECT area = draw.rc;
    int isDefault = (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    // The default button's wider, lighter edge marks what Enter presses, as the light theme's blue edge does.
    Fill(draw.hdc, area, isDefault ? DefaultButtonEdge : DialogColors::DarkFrame);
    InflateRect(&area, isDefault ? -2 : -1, isDefault ? -2 : -1);
    COLORREF face = (draw.uItemState & CDIS_SELECTED) ? ButtonPressed
                    : (draw.uItemState & CDIS_HOT)    ? ButtonHot
                                                      : ButtonFace;
    Fill(draw.hdc, area, face);
    wchar_t text[128] = L"";
    GetWindowTextW(button, text, 128);
    ScopedSelect font(draw.hdc, (HFONT)SendMessageW(button, WM_GETFONT, 0, 0));
    SetBkMode(draw.hdc, TRANSPARENT);
    SetTextColor(draw.hdc, (draw.uItemState & CDIS_DISABLED) ? DisabledText : DialogColors::DarkText);
    UINT format = DT_SINGLELINE | DT_CENTER | DT_VCENTER;
    if (SendMessageW(button, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL)
        format |= DT_HIDEPREFIX;
    DrawTextW(draw.hdc, text, -1, &area, format);
    if ((draw.uItemState & CDIS_FOCUS) && !(SendMessageW(button, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
        InflateRect(&area, -2, -2);
        SetTextColor(draw.hdc, DialogColors::DarkText);
        SetBkColor(draw.hdc, face);
        DrawFocusRect(draw.hdc, &area);
    }
}

} // namespace

int DialogColors::Apply(HWND dialog) {
    dark = AppsUseDarkMode();
    if (dark && !background.Create(DarkBackground))
        dark = 0;
    if (dark)
        editBackground.Create(DarkEditBackground);
    if (!dark && !themed)
        return 0;
    DarkMode::SetTitleBar(dialog, dark);
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
    int isHotkey = IsClass(control, L"msctls_hotkey32");
    if (isHotkey && dark)
        hotkey.Attach(control, DarkEditBackground, DarkText, DarkFrame);
    else if (isHotkey)
        hotkey.Detach();
    if (!setWindowTheme)
        return;
    // Null and null takes back what was set: the control draws with the user's theme again.
    if (!dark) {
        setWindowTheme(control, nullptr, nullptr);
        return;
    }
    if (IsClass(control, L"Edit") || isHotkey) {
        // The dark theme of the file dialogs' boxes: a dark frame around the colours answered here.
        setWindowTheme(control, L"DarkMode_CFD", nullptr);
    } else if (IsClass(control, L"Button") && !IsPushButton(control)) {
        // A themed check box draws its text in black whatever WM_CTLCOLORSTATIC asks, also under the dark
        // Explorer theme of Windows 10; without a theme it draws in the colours answered here.
        setWindowTheme(control, L"", L"");
    }
}

HBRUSH DialogColors::OnCtlColor(UINT message, HDC dc, HWND control) const {
    if (!dark)
        return nullptr;
    if (control && control == hotkey.Control())
        return HotkeyPainter::OnCtlColor(dc);
    SetTextColor(dc, DarkText);
    if (message == WM_CTLCOLOREDIT)
        return editBackground.OnCtlColor(dc);
    return background.OnCtlColor(dc);
}

int DialogColors::OnNotify(const NMHDR* header, LRESULT* result) const {
    // Push buttons ignore the colour messages: the system draws them in its own colours, light ones under
    // every theme before the dark Explorer theme of Windows 10 1809 and wherever that theme is missing.
    // Painting them here makes them dark everywhere, from the first stage the button announces.
    if (!dark || !header || header->code != NM_CUSTOMDRAW || !IsPushButton(header->hwndFrom))
        return 0;
    const NMCUSTOMDRAW* draw = reinterpret_cast<const NMCUSTOMDRAW*>(header);
    if (draw->dwDrawStage != CDDS_PREERASE && draw->dwDrawStage != CDDS_PREPAINT)
        return 0;
    PaintButton(*draw);
    *result = CDRF_SKIPDEFAULT;
    return 1;
}
