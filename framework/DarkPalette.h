#pragma once
// The dialogs' colours in the dark app mode: Windows 11's dark palette. Against the background white is
// 16.3:1, the secondary grey 9.7:1, the link 12.2:1 (hovered 14.0:1), white on the edit background 14.2:1
// and on a button's face 12.6:1 (hot 9.6:1, pressed 14.7:1): every text clears the 7:1 of small text.

#include <windows.h>

class DarkPalette {
public:
    static const COLORREF Background = RGB(32, 32, 32);
    static const COLORREF Text = RGB(255, 255, 255);
    static const COLORREF SecondaryText = RGB(200, 200, 200);
    static const COLORREF EditBackground = RGB(43, 43, 43);
    static const COLORREF Link = RGB(153, 235, 255);
    static const COLORREF LinkHover = RGB(204, 245, 255);
    static const COLORREF Divider = RGB(77, 77, 77);
    static const COLORREF Frame = RGB(100, 100, 100);
    static const COLORREF ButtonFace = RGB(51, 51, 51);
    static const COLORREF ButtonHot = RGB(69, 69, 69);
    static const COLORREF ButtonPressed = RGB(40, 40, 40);
    // The default button's wider edge, and a check box's: 9.7:1 on the background, plain to see.
    static const COLORREF Edge = RGB(200, 200, 200);
    // What cannot be used, as the light theme greys it out.
    static const COLORREF DisabledText = RGB(120, 120, 120);
};
