#include "app/popup/MenuPalette.h"

#include <math.h>

namespace {

double RelativeLuminance(COLORREF color) {
    auto linear = [](int value) {
        double v = value / 255.0;
        return v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(GetRValue(color)) + 0.7152 * linear(GetGValue(color)) + 0.0722 * linear(GetBValue(color));
}

// The colour darkened until the text reads on it at the ratio: a bright selection colour (yellow, white)
// would otherwise make a selection on which white text fades.
COLORREF DeepEnough(COLORREF color, COLORREF text, double ratio) {
    for (int step = 0; step < 20 && MenuPalette::Contrast(color, text) < ratio; step++)
        color = MenuPalette::Mix(color, RGB(0, 0, 0), 0.1);
    return color;
}

} // namespace

double MenuPalette::Contrast(COLORREF a, COLORREF b) {
    double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

COLORREF MenuPalette::Mix(COLORREF from, COLORREF to, double x) {
    if (!(x >= 0 && x <= 1))
        return from;
    auto channel = [x](int a, int b) { return (int)(a + x * (b - a)); };
    return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
               channel(GetBValue(from), GetBValue(to)));
}

MenuPalette MenuPalette::Light(COLORREF highlight) {
    const COLORREF white = RGB(255, 255, 255);
    MenuPalette palette;
    palette.background = white;
    palette.iconColumn = GetSysColor(COLOR_BTNFACE);
    palette.text = GetSysColor(COLOR_MENUTEXT);
    palette.disabledText = GetSysColor(COLOR_GRAYTEXT);
    palette.selectTop = Mix(highlight, white, 0.98);
    palette.selectBottom = Mix(highlight, white, 0.85);
    palette.selectColumnBottom = Mix(highlight, white, 0.7);
    palette.frame = highlight;
    palette.separator = RGB(0x82, 0x82, 0x82);
    return palette;
}

MenuPalette MenuPalette::Dark(COLORREF highlight) {
    // Windows 11's dark menus: a dark grey and white text (14.2:1 on it); the selection a dark shade of the
    // system's selection colour (not the accent colour, which Win32 does not offer), deepened where needed
    // so that white reads on it at 7:1 or more whatever that colour is.
    const COLORREF background = RGB(43, 43, 43);
    MenuPalette palette;
    palette.dark = 1;
    palette.background = background;
    palette.iconColumn = RGB(32, 32, 32);
    palette.text = RGB(255, 255, 255);
    // Grey text marks what cannot be chosen, as the light menus do: 5.8:1 on the background.
    palette.disabledText = RGB(166, 166, 166);
    palette.selectTop = DeepEnough(Mix(background, highlight, 0.2), palette.text, 7.5);
    palette.selectBottom = DeepEnough(Mix(background, highlight, 0.35), palette.text, 7.5);
    palette.selectColumnBottom = DeepEnough(Mix(background, highlight, 0.45), palette.text, 7.5);
    palette.frame = Mix(highlight, RGB(255, 255, 255), 0.2);
    palette.separator = RGB(0x6E, 0x6E, 0x6E);
    return palette;
}
