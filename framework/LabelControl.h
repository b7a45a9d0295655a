#pragma once
// A static control whose text is painted here: in a face chosen from a list, at a size that fits the
// control, in normal, hover and disabled colours, with optional bitmaps, frames, cursor and click events.

#include "base/GdiObject.h"
#include "base/WString.h"
#include "framework/StaticControl.h"

#include <windows.h>

// LabelControl options. Its states are a StaticControl's (StaticState); the bits 0x10, 0x80000, 0x200000
// and 0x2000000 were once states here and are not options.
enum : DWORD {
    LABEL_INTERACTIVE = 0x1, // hover state and colour, cursor, click events; SS_NOTIFY is added
    LABEL_BOLD = 0x2,
    LABEL_UNDERLINE = 0x4,
    LABEL_ITALIC = 0x8,
    LABEL_WHITE_BACKGROUND = 0x20, // the stock white brush instead of the parent's
    LABEL_WORD_WRAP = 0x40,        // DT_WORDBREAK instead of DT_SINGLELINE
    LABEL_REFIT_ON_TEXT = 0x80,    // refit the font whenever the text changes
    LABEL_TRANSPARENT = 0x100,     // no background painted (from WS_EX_TRANSPARENT)
    LABEL_FRAME = 0x200,           // frame line in the frame colour
    LABEL_EDGE_BUMP = 0x400,
    LABEL_EDGE_ETCHED = 0x800,
    LABEL_EDGE_RAISED = 0x1000,
    LABEL_EDGE_SUNKEN = 0x2000,
    LABEL_DOUBLE_FRAME = 0x4000, // three frame lines in the frame colour
    LABEL_OWN_FONT = 0x8000,     // the control's own font
    LABEL_IGNORE_TRANSPARENT = 0x10000,
    LABEL_WHOLE_CLIENT = 0x20000, // the whole client area counts as the text
    LABEL_END_ELLIPSIS = 0x40000,
    LABEL_NOT_FOCUSABLE = 0x100000, // the control has no WS_TABSTOP
    LABEL_SYSTEM_CURSOR = 0x400000, // the cursor id names a system cursor
    LABEL_VCENTER = 0x800000,
    LABEL_COMMAND = 0x1000000, // a click also sends WM_COMMAND to the parent
    LABEL_FIT = 0x4000000,     // fit the font to the client area, starting from the height
    LABEL_KEEP_TEXT_COLOR = 0x8000000,
    LABEL_ANY_FRAME = 0x7E00, // insets the text by 3 pixels
};

// Events given to the callback
enum : int { LABEL_EVENT_PRESSED = 1, LABEL_EVENT_CLICKED = 2, LABEL_EVENT_SPACE = 3, LABEL_EVENT_ENTER = 4 };

typedef void (*LabelCallback)(int event, int reserved, void* userData, HWND control);

class LabelControl final : public StaticControl {
public:
    LabelControl();
    ~LabelControl() { Detach(); }

    // A null or empty face list means "Segoe UI;Verdana;MS Sans Serif"; height 0 takes the client height.
    COLORREF NormalColor() const { return normalColor; }
    int Attach(HWND control, const wchar_t* faceList, int height, COLORREF normal, COLORREF hover, DWORD options,
               WORD cursor, LabelCallback callback, void* userData);
    void SetFaceList(const wchar_t* list, Repaint repaint);
    // New normal and hover colours, shown at once.
    void SetColors(COLORREF normal, COLORREF hover);
    // The font made again for the control's present size and font, after the dialog was scaled.
    void Refit();
    // May be called from another thread than the one that paints.
    void SetText(const wchar_t* text) override;
    // Takes ownership of the bitmaps (any may be null); a scale of 1.0 draws them at their own size.
    void SetBitmaps(HBITMAP normal, HBITMAP pressed, HBITMAP hover, float scaleX, float scaleY);
    void Detach();

    COLORREF disabledColor;
    COLORREF frameColor = 0;

    HFONT Font() const { return font.As<HFONT>(); }
    const WString& FaceName() const { return faceName; }

private:
    // Whether an event also sends WM_COMMAND to the parent, as a click does under LABEL_COMMAND.
    enum EventCommand { CALLBACK_ONLY, ALSO_COMMAND };

    int OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void Draw(HDC dc, const RECT& client) override;
    void BuildFont();
    RECT TextArea() const;
    void Event(int event, EventCommand command);
    void DrawBitmap(HDC dc);
    void DrawFrames(HDC dc, const RECT& client);

    SubclassHook<HOOK_LABEL> labelHook;
    GdiObject font;
    COLORREF normalColor = RGB(0, 0, 255);
    COLORREF hoverColor = RGB(255, 128, 255);
    WString faceName;
    LabelCallback callback = nullptr;
    int height = 0;
    GdiObject normalBitmap;
    GdiObject pressedBitmap;
    GdiObject hoverBitmap;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    void* userData = nullptr;
};
