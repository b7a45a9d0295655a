#pragma once
// The colours the owner-drawn menus paint with: light, or dark in the dark app mode, both derived from
// the system's selection colour. High contrast is not a palette: it paints with the system's colours.

#include <windows.h>

class MenuPalette {
public:
    static MenuPalette Light(COLORREF highlight);
    static MenuPalette Dark(COLORREF highlight);
    // The colour the fraction x of the way from one colour to the other.
    static COLORREF Mix(COLORREF from, COLORREF to, double x);
    // The contrast ratio of two colours as WCAG defines it, from 1 (the same) to 21 (black and white).
    static double Contrast(COLORREF a, COLORREF b);

    int dark = 0;
    COLORREF background = 0;
    COLORREF iconColumn = 0;
    COLORREF text = 0;
    COLORREF disabledText = 0;
    // The selected item: a gradient from top to bottom, the icon column's deeper, in a rounded frame.
    COLORREF selectTop = 0;
    COLORREF selectBottom = 0;
    COLORREF selectColumnBottom = 0;
    COLORREF frame = 0;
    // A separator's line, fading in from the background and out again.
    COLORREF separator = 0;
};
