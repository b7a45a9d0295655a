#include "framework/ColorBrush.h"

HBRUSH ColorBrush::Create(COLORREF newColor) {
    color = newColor;
    brush.Attach(CreateSolidBrush(color));
    return brush.As<HBRUSH>();
}

HBRUSH ColorBrush::OnCtlColor(HDC dc) const {
    SetBkColor(dc, color);
    return brush.As<HBRUSH>();
}
