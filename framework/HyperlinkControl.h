#pragma once
// A static control of a dialog turned into a web link: drawn in the link colours and underline rule the
// user chose for the browser, with a hand cursor over the text, opening its address when clicked.

#include "base/GdiObject.h"
#include "base/WString.h"
#include "framework/StaticControl.h"
#include "framework/ThemeData.h"

#include <windows.h>

// HyperlinkControl options. Its states are a StaticControl's (StaticState); the bits 0x4, 0x8 and 0x40 were
// once states here and are not options.
enum : DWORD {
    LINK_HOVER_COLOR = 0x1,           // use the hover colour while hovering
    LINK_OWN_FONT = 0x2,              // the control's own font instead of one built here
    LINK_TRANSPARENT = 0x10,          // the parent paints the background
    LINK_FULL_HEIGHT = 0x20,          // font height from the control's client height
    LINK_NO_FOCUS_RECT = 0x80,        // never a focus rectangle (the control has no WS_TABSTOP)
    LINK_MASKED = 0x100,              // one mask character per caption character
    LINK_BROWSER_FACE = 0x200,        // face from the browser's proportional-font setting
    LINK_THEMED_PARENT = 0x400,       // the parent's themed background under the control
    LINK_COMMAND = 0x800,             // a click sends WM_COMMAND to the parent instead of opening the address
    LINK_END_ELLIPSIS = 0x1000,       // DT_END_ELLIPSIS
    LINK_PATH_ELLIPSIS = 0x2000,      // DT_PATH_ELLIPSIS
    LINK_IGNORE_TRANSPARENT = 0x4000, // ignore the control's WS_EX_TRANSPARENT
};

// Events given to the callbacks
enum : int { LINK_PRESSED = 1, LINK_ENTER = 2, LINK_SPACE = 3, LINK_RELEASED = 4 };

// When the link is underlined
enum : int { UNDERLINE_NEVER = 0, UNDERLINE_HOVER = 1, UNDERLINE_ALWAYS = 2 };

typedef void (*LinkCallback)(int event, const wchar_t* text, const wchar_t* url);
typedef void (*LinkFullCallback)(int event, const wchar_t* text, const wchar_t* url, void* userData, HWND control);

class HyperlinkControl final : public StaticControl {
public:
    HyperlinkControl();
    ~HyperlinkControl();

    // 1 when the control is hooked; url may be null (no address).
    int Attach(HWND control, const wchar_t* caption, const wchar_t* url, WORD cursorId, DWORD options);
    void SetText(const wchar_t* caption) override;
    void Detach();
    // Colours of the owner's, shown at once; ResetColors goes back to the browser's and the system's.
    void SetColors(COLORREF link, COLORREF hover);
    void ResetColors();
    // The fonts made again for the control's present size and font, after the dialog was scaled.
    void Refit();

    // Set by the owner when it wants the events; the first one set gets them, instead of the default action.
    LinkCallback simpleCallback = nullptr;
    LinkFullCallback fullCallback = nullptr;
    void* userData = nullptr;

    COLORREF LinkColor() const { return linkColor; }
    COLORREF HoverColor() const { return hoverColor; }
    int UnderlineMode() const { return underlineMode; }
    const WString& DisplayText() const { return displayText; }
    HFONT PlainFont() const { return plainFont.As<HFONT>(); }
    HFONT UnderlinedFont() const { return underlinedFont.As<HFONT>(); }

    // "R,G,B", three numbers up to 255; 0 leaves *color alone.
    static int ParseColor(const wchar_t* text, COLORREF* color);
    // Posted to a control to follow its link, as a screen reader's default action does.
    static UINT ActivateMessage();

private:
    int OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void Draw(HDC dc, const RECT& client) override;
    void ReadBrowserSettings();
    // The default colours, the browser's, or high contrast's.
    void ChooseColors();
    void ChooseFace(wchar_t (&face)[LF_FACESIZE]) const;
    void BuildFonts();
    // displayText: the caption, or one mask character for each of its characters.
    void MakeDisplayText();
    void Click(int event);

    SubclassHook<HOOK_HYPERLINK> linkHook;
    WString displayText;
    ThemeData theme;
    wchar_t url[MAX_PATH] = L"";
    GdiObject underlinedFont;
    GdiObject plainFont;
    COLORREF linkColor = RGB(0, 102, 204);
    COLORREF hoverColor = RGB(255, 0, 0);
    COLORREF disabledColor = 0;
    int underlineMode = UNDERLINE_ALWAYS;
};
