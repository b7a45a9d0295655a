#include "framework/DarkButton.h"

#include "base/GdiObject.h"
#include "base/ScopedSelect.h"
#include "framework/DarkPalette.h"

namespace {

LONG_PTR ButtonType(HWND control) {
    return DarkButton::IsClass(control, L"Button") ? GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK : -1;
}

void Fill(HDC dc, const RECT& area, COLORREF color) {
    GdiObject brush(CreateSolidBrush(color));
    FillRect(dc, &area, brush.As<HBRUSH>());
}

UINT PrefixFormat(HWND button) {
    return (SendMessageW(button, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0;
}

void FocusFrame(HWND button, HDC dc, RECT area, COLORREF behind) {
    if (SendMessageW(button, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)
        return;
    // DrawFocusRect inverts through the text and background colours: white dots on the face.
    SetTextColor(dc, DarkPalette::Text);
    SetBkColor(dc, behind);
    DrawFocusRect(dc, &area);
}

} // namespace

int DarkButton::IsClass(HWND control, const wchar_t* name) {
    wchar_t found[32] = L"";
    GetClassNameW(control, found, 32);
    return lstrcmpiW(found, name) == 0;
}

int DarkButton::IsPushButton(HWND control) {
    LONG_PTR type = ButtonType(control);
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

int DarkButton::Paint(const NMCUSTOMDRAW& draw) {
    if (draw.dwDrawStage != CDDS_PREERASE && draw.dwDrawStage != CDDS_PREPAINT)
        return 0;
    LONG_PTR type = ButtonType(draw.hdr.hwndFrom);
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
        PaintPush(draw, type == BS_DEFPUSHBUTTON);
    else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX)
        PaintCheckBox(draw);
    else
        return 0;
    return 1;
}

void DarkButton::PaintPush(const NMCUSTOMDRAW& draw, int isDefault) {
    HWND button = draw.hdr.hwndFrom;
    RECT area = draw.rc;
    // The default button's wider, lighter edge marks what Enter presses, as the light theme's blue edge does.
    Fill(draw.hdc, area, isDefault ? DarkPalette::Edge : DarkPalette::Frame);
    InflateRect(&area, isDefault ? -2 : -1, isDefault ? -2 : -1);
    COLORREF face = (draw.uItemState & CDIS_SELECTED) ? DarkPalette::ButtonPressed
                    : (draw.uItemState & CDIS_HOT)    ? DarkPalette::ButtonHot
                                                      : DarkPalette::ButtonFace;
    Fill(draw.hdc, area, face);
    wchar_t text[128] = L"";
    GetWindowTextW(button, text, 128);
    ScopedSelect font(draw.hdc, (HFONT)SendMessageW(button, WM_GETFONT, 0, 0));
    SetBkMode(draw.hdc, TRANSPARENT);
    SetTextColor(draw.hdc, (draw.uItemState & CDIS_DISABLED) ? DarkPalette::DisabledText : DarkPalette::Text);
    DrawTextW(draw.hdc, text, -1, &area, DT_SINGLELINE | DT_CENTER | DT_VCENTER | PrefixFormat(button));
    if (draw.uItemState & CDIS_FOCUS) {
        InflateRect(&area, -2, -2);
        FocusFrame(button, draw.hdc, area, face);
    }
}

void DarkButton::PaintCheckBox(const NMCUSTOMDRAW& draw) {
    HWND button = draw.hdr.hwndFrom;
    RECT area = draw.rc;
    Fill(draw.hdc, area, DarkPalette::Background);
    ScopedSelect font(draw.hdc, (HFONT)SendMessageW(button, WM_GETFONT, 0, 0));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(draw.hdc, &metrics);
    // The box grows with the font, which the dialog scales with its DPI: 13 pixels for the 16 of a 9-point
    // font at 96 dots per inch, as the system's box.
    int box = metrics.tmHeight > 0 ? MulDiv(metrics.tmHeight, 13, 16) : 13;
    int line = box >= 20 ? 2 : 1;
    int disabled = (draw.uItemState & CDIS_DISABLED) != 0;
    RECT square = {area.left, (area.top + area.bottom - box) / 2, area.left + box, (area.top + area.bottom + box) / 2};
    Fill(draw.hdc, square, disabled ? DarkPalette::DisabledText : DarkPalette::Edge);
    InflateRect(&square, -line, -line);
    Fill(draw.hdc, square, (draw.uItemState & CDIS_SELECTED) ? DarkPalette::ButtonHot : DarkPalette::EditBackground);
    if (SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        // A tick of three points, in lines a seventh of the box wide.
        GdiObject pen(
            CreatePen(PS_SOLID, box / 7 > 1 ? box / 7 : 2, disabled ? DarkPalette::DisabledText : DarkPalette::Text));
        ScopedSelect selectedPen(draw.hdc, pen.Handle());
        int left = square.left, top = square.top, size = square.right - square.left;
        POINT tick[] = {{left + size * 2 / 10, top + size / 2},
                        {left + size * 4 / 10, top + size * 7 / 10},
                        {left + size * 8 / 10, top + size * 25 / 100}};
        Polyline(draw.hdc, tick, 3);
    }
    wchar_t text[512] = L"";
    GetWindowTextW(button, text, 512);
    RECT label = {area.left + box + MulDiv(box, 5, 13), area.top, area.right, area.bottom};
    UINT format = DT_LEFT | PrefixFormat(button) |
                  ((GetWindowLongPtrW(button, GWL_STYLE) & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER);
    RECT measured = label;
    DrawTextW(draw.hdc, text, -1, &measured, format | DT_CALCRECT);
    // Centred as a whole, also when it takes several lines, and never past the control's end.
    measured.right = measured.right < area.right ? measured.right : area.right;
    OffsetRect(&measured, 0, (label.bottom - label.top - (measured.bottom - measured.top)) / 2);
    SetBkMode(draw.hdc, TRANSPARENT);
    SetTextColor(draw.hdc, disabled ? DarkPalette::DisabledText : DarkPalette::Text);
    DrawTextW(draw.hdc, text, -1, &measured, format);
    if (draw.uItemState & CDIS_FOCUS) {
        InflateRect(&measured, 1, 1);
        FocusFrame(button, draw.hdc, measured, DarkPalette::Background);
    }
}
