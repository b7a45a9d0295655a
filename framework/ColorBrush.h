#pragma once
// One solid colour for a dialog's colour messages: the brush to answer with, and the text background.

#include "base/GdiObject.h"

#include <windows.h>

class ColorBrush {
public:
    ColorBrush() = default;
    ColorBrush(const ColorBrush&) = delete;
    ColorBrush& operator=(const ColorBrush&) = delete;

    HBRUSH Create(COLORREF color);
    // The answer to WM_CTLCOLOR...: the brush, with the device context's text background in the colour.
    HBRUSH OnCtlColor(HDC dc) const;

private:
    COLORREF color = 0;
    GdiObject brush;
};
