#pragma once
// What the label and the hyperlink share: a static control of a dialog, subclassed so that its caption
// lives in the object and is painted here in a font fitted to the control, with hover, focus and disabled
// states, hit testing over the text, and repaints that take in the parent under a transparent control.

#include "base/CriticalSection.h"
#include "base/GdiObject.h"
#include "base/ScopedDc.h"
#include "base/ScopedSelect.h"
#include "base/WString.h"
#include "framework/HoverTracker.h"
#include "framework/SubclassHook.h"

#include <windows.h>

// The states of a static control, apart from its options
enum StaticState : DWORD {
    STATIC_HOVERING = 0x1, // the mouse is over the text (over the client area, where the whole of it counts)
    STATIC_FOCUSED = 0x2,
    STATIC_DISABLED = 0x4,
    STATIC_PRESSED = 0x8, // the left button is down on the control
};

class StaticControl {
public:
    // What a repaint takes in.
    enum Repaint {
        NO_REPAINT,
        CONTROL_ONLY,
        WITH_PARENT, // and, under a transparent control, what the parent paints there
    };
    // Whether the parent erases its background under a transparent control that repaints WITH_PARENT.
    enum ParentErase { PARENT_ERASED, PARENT_UNERASED };

    // What the shared code needs to know of one kind of control: which of its option bits mean what
    // (0 where the kind has no such option), and how it repaints.
    struct Kind {
        DWORD transparent;            // no background painted; set by Adopt for WS_EX_TRANSPARENT
        DWORD ignoreTransparent;      // WS_EX_TRANSPARENT does not make the control transparent
        DWORD notFocusable;           // no focus rectangle; set by Adopt when the control has no WS_TABSTOP
        DWORD wholeClient;            // the whole client area counts as the text
        DWORD whiteBackground;        // the stock white brush instead of the parent's
        DWORD systemCursor;           // the cursor id names a system cursor
        const wchar_t* missingCursor; // the system cursor shown when the control's own cannot be loaded
        ParentErase parentErase;
        Repaint stateRepaint; // what a change of focus or of the enabled state repaints
    };

    StaticControl(const StaticControl&) = delete;
    StaticControl& operator=(const StaticControl&) = delete;

    // A new caption (WM_SETTEXT comes here too); null is an empty one.
    virtual void SetText(const wchar_t* text) = 0;

    DWORD Options() const { return options; }
    DWORD State() const { return state; }
    SIZE TextSize() const { return textSize; }
    UINT Format() const { return format; }
    // For tests of the system without TrackMouseEvent.
    HoverTracker& Hover() { return hover; }

protected:
    // The hook is the derived object's own, one kind per kind of control; it is only used from Adopt on.
    StaticControl(SubclassHookBase& hook, const Kind& kind) : hook(hook), kind(kind) {}
    ~StaticControl() = default;

    // A lock held for a scope; the lock does nothing before Adopt and after Release.
    class Locked {
    public:
        explicit Locked(CriticalSection& section) : section(section) { section.Enter(); }
        ~Locked() { section.Leave(); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        CriticalSection& section;
    };

    // Takes the control over, before it is hooked: the options and cursor, no state yet, and the kind's
    // not-focusable and transparent options from the control's styles. Answers the control's style.
    LONG_PTR Adopt(HWND target, DWORD controlOptions, WORD cursor);
    // The caption moves into the object: `caption`, or the window's own text when null. The static's own
    // text is emptied: it would otherwise be drawn by nobody but still be what the system reports for the
    // window outside this process.
    void TakeCaption(const wchar_t* caption);
    // Subclasses the control; 1 when it is hooked.
    int Hook();
    // Unhooks the control and stops following the mouse.
    void Release();

    // DT_CENTER, DT_RIGHT, DT_VCENTER and DT_NOPREFIX as the static's SS_ styles ask.
    static UINT FormatFromStyle(LONG_PTR style);
    // The first face of the list (separated by commas or semicolons) that is installed, else `fallback`.
    static void FirstInstalledFace(const wchar_t* list, const wchar_t* fallback, WString& face);
    // The control's own font (the default GUI font when it has none); 0 when it cannot be read.
    int ControlFont(LOGFONTW& font) const;
    // Makes the font at `height`, then one pixel smaller while `fits` refuses it with the font selected
    // into the control's device context. Never below 4 pixels: the font of the last height tried stays.
    template <typename MakeFont, typename Fits> void FitFont(GdiObject& font, int height, MakeFont make, Fits fits) {
        ScopedDc dc(control);
        for (;; height--) {
            font.Attach(make(height));
            ScopedSelect trial(dc, font.Handle());
            if (!trial.Selected() || fits(dc) || height - 1 < MinimumFontHeight)
                break;
        }
    }
    // textSize: the extent of the shown text in that font; 0 by 0 when it cannot be measured.
    void MeasureText(HGDIOBJ font, const WString& shown);

    void Invalidate(Repaint repaint) const;
    // Whether the cursor is over the text (the client area, where the whole of it counts); 1 also when the
    // text size or the cursor is unknown.
    int HitTest() const;
    // Unless the control is transparent: the parent's WM_CTLCOLORSTATIC brush, or white.
    void FillBackground(HDC dc, const RECT& client) const;
    // Where the focus rectangle goes across: under the text, or the whole width where the whole client counts.
    RECT TextColumn(const RECT& client) const;
    int ShowsFocus() const { return (state & STATIC_FOCUSED) && !(options & kind.notFocusable); }
    // The control's cursor while hovering: cursorId, else the kind's missing cursor, else the arrow.
    void ShowHoverCursor() const;

    // For WM_MOUSEMOVE: hovering starts or ends as the cursor comes over the text or leaves it, with the
    // repaint, the cursor and the tracking of the mouse leaving the control.
    enum HoverChange { HOVER_KEPT, HOVER_ENTERED, HOVER_LEFT };
    HoverChange FollowMouse();

    // The messages both kinds answer alike: painting, the caption, the cursor, focus, enabling, the mouse
    // leaving; 1 when handled. A kind answers its own first and passes the rest on.
    virtual int OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Paints the control between BeginPaint and EndPaint, the background mode set to transparent.
    virtual void Draw(HDC dc, const RECT& client) = 0;

    HWND control = nullptr;
    DWORD options = 0;
    DWORD state = 0;
    WORD cursorId = 0;
    UINT format = DT_SINGLELINE;
    SIZE textSize = {0, 0};
    WString text; // the caption, as WM_GETTEXT reports it
    CriticalSection lock;
    HoverTracker hover;

private:
    static const int MinimumFontHeight = 4;
    static int HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData);
    void Paint();

    SubclassHookBase& hook;
    const Kind& kind;
};
