#include "framework/LabelControl.h"

#include "base/FontEnumeration.h"
#include "base/ScopedDc.h"
#include "base/ScopedSelect.h"
#include "framework/HyperlinkControl.h"

#include <wchar.h>

namespace {

const wchar_t* const DefaultFaces = L"Segoe UI;Verdana;MS Sans Serif";
const int FrameInset = 3;

// A lock held for a scope; the lock does nothing before Attach and after Detach.
class Locked {
public:
    explicit Locked(CriticalSection& section) : section(section) { section.Enter(); }
    ~Locked() { section.Leave(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CriticalSection& section;
};

} // namespace

LabelControl::LabelControl() : disabledColor(GetSysColor(COLOR_GRAYTEXT)) {}

void LabelControl::SetFaceList(const wchar_t* list, int repaint) {
    WString faces(list && list[0] ? list : DefaultFaces);
    faceName.Assign(L"Verdana");
    for (wchar_t* face = faces.Tokenize(1, L",;"); face; face = faces.Tokenize(0, L",;")) {
        WString candidate(face);
        candidate.TrimLeft();
        candidate.TrimRight();
        if (!candidate.IsEmpty() && EnumerateFonts(nullptr, nullptr, candidate, DEFAULT_CHARSET, nullptr)) {
            faceName.Assign(candidate);
            break;
        }
    }
    if (repaint)
        Invalidate(1);
}

RECT LabelControl::TextArea() const {
    RECT area = {0, 0, 0, 0};
    GetClientRect(control, &area);
    if (flags & LABEL_ANY_FRAME)
        InflateRect(&area, -FrameInset, -FrameInset);
    return area;
}

void LabelControl::BuildFont() {
    font.Release();
    if (flags & LABEL_OWN_FONT) {
        HFONT own = (HFONT)SendMessageW(control, WM_GETFONT, 0, 0);
        LOGFONTW copy = {};
        if (GetObjectW(own ? own : GetStockObject(DEFAULT_GUI_FONT), sizeof(copy), &copy))
            font.CreateFont(copy);
        MeasureText();
        return;
    }
    ScopedDc dc(control);
    RECT area = TextArea();
    int size = height ? height : area.bottom - area.top;
    for (;;) {
        font.Attach(CreateFontW(size, 0, 0, 0, (flags & LABEL_BOLD) ? FW_BOLD : FW_NORMAL, (flags & LABEL_ITALIC) != 0,
                                (flags & LABEL_UNDERLINE) != 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, faceName));
        if (height && !(flags & LABEL_FIT))
            break;
        RECT measured = area;
        ScopedSelect trial(dc, font.Handle());
        if (!trial.Selected() || !DrawTextW(dc, text, text.Length(), &measured, format | DT_CALCRECT))
            break;
        if (measured.right - measured.left < area.right - area.left &&
            measured.bottom - measured.top < area.bottom - area.top)
            break;
        // Never below 4 pixels: the font of the last height tried stays.
        if (size - 1 <= 3)
            break;
        size--;
    }
    MeasureText();
}

void LabelControl::MeasureText() {
    textSize.cx = textSize.cy = 0;
    ScopedDc dc(control);
    ScopedSelect selected(dc, font.Handle());
    if (!GetTextExtentPoint32W(dc, text, text.Length(), &textSize))
        textSize.cx = textSize.cy = 0;
}

int LabelControl::Attach(HWND target, const wchar_t* faceList, int fontHeight, COLORREF normal, COLORREF hoverText,
                         DWORD options, WORD cursor, LabelCallback eventCallback, void* eventUserData) {
    Detach();
    if (!target)
        return 0;
    height = fontHeight;
    normalColor = normal;
    hoverColor = hoverText;
    flags = options & ~LABEL_HOVERING;
    callback = eventCallback;
    control = target;
    userData = eventUserData;
    cursorId = cursor;
    lock.Init();

    LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    if (!(style & WS_TABSTOP))
        flags |= LABEL_NOT_FOCUSABLE;
    SetFaceList(faceList, 0);
    // The caption moves into the object; the static's own text would otherwise be drawn by nobody but
    // still be what the system reports for the window outside this process.
    int length = GetWindowTextLengthW(control);
    WString caption((unsigned)length + 1);
    GetWindowTextW(control, caption.Buffer(), length + 1);
    caption.Recount();
    text.Assign(caption);
    SetWindowTextW(control, L"");
    if (!(flags & LABEL_IGNORE_TRANSPARENT) && (GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_TRANSPARENT))
        flags |= LABEL_TRANSPARENT;
    if (flags & LABEL_INTERACTIVE)
        SetWindowLongPtrW(control, GWL_STYLE, style | SS_NOTIFY);

    format = (flags & LABEL_WORD_WRAP) ? DT_WORDBREAK : DT_SINGLELINE;
    if (flags & LABEL_END_ELLIPSIS)
        format |= DT_END_ELLIPSIS;
    if ((style & SS_TYPEMASK) == SS_CENTER)
        format |= DT_CENTER;
    else if ((style & SS_TYPEMASK) == SS_RIGHT)
        format |= DT_RIGHT;
    if ((style & SS_CENTERIMAGE) || (flags & LABEL_VCENTER))
        format |= DT_VCENTER;
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;

    BuildFont();
    int hooked = hook.Attach(control, HookProc, this);
    Invalidate(1);
    return hooked;
}

void LabelControl::SetText(const wchar_t* newText) {
    {
        Locked locked(lock);
        text.Assign(newText ? newText : L"");
        if (flags & LABEL_REFIT_ON_TEXT) {
            // Refit from the requested height (or from the client height) so that a shorter text grows again.
            if (!(flags & LABEL_FIT))
                height = 0;
            BuildFont();
        } else {
            MeasureText();
        }
    }
    Invalidate(1);
}

void LabelControl::SetBitmaps(HBITMAP normal, HBITMAP pressed, HBITMAP hoverImage, float x, float y) {
    Locked locked(lock);
    normalBitmap.Attach(normal);
    pressedBitmap.Attach(pressed);
    hoverBitmap.Attach(hoverImage);
    scaleX = x;
    scaleY = y;
}

void LabelControl::Detach() {
    hook.Detach();
    hover.Stop();
    font.Release();
    normalBitmap.Release();
    pressedBitmap.Release();
    hoverBitmap.Release();
    lock.Delete();
}

void LabelControl::Invalidate(int withParent) const {
    if (!control)
        return;
    if (withParent && (flags & LABEL_TRANSPARENT)) {
        HWND parent = GetParent(control);
        RECT area;
        GetWindowRect(control, &area);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
        InvalidateRect(parent, &area, TRUE);
    }
    InvalidateRect(control, nullptr, FALSE);
}

int LabelControl::HitTest() const {
    POINT cursor;
    if (textSize.cy == 0 || !GetCursorPos(&cursor))
        return 1;
    ScreenToClient(control, &cursor);
    RECT client;
    GetClientRect(control, &client);
    if (!PtInRect(&client, cursor))
        return 0;
    if (flags & LABEL_WHOLE_CLIENT)
        return 1;
    return HyperlinkControl::IsOverText(control, textSize, format);
}

void LabelControl::ShowCursor() const {
    HINSTANCE module = (flags & LABEL_SYSTEM_CURSOR)
                           ? nullptr
                           : reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(control, GWLP_HINSTANCE));
    HCURSOR cursor = LoadCursorW(module, MAKEINTRESOURCEW(cursorId));
    SetCursor(cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW));
}

void LabelControl::Event(int event, int command) {
    if (callback)
        callback(event, 0, userData, control);
    if (command && (flags & LABEL_COMMAND))
        SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), 0), (LPARAM)control);
}

void LabelControl::PaintBitmap(HDC dc) {
    HGDIOBJ bitmap = normalBitmap.Handle();
    if ((flags & LABEL_PRESSED) && pressedBitmap.Handle())
        bitmap = pressedBitmap.Handle();
    else if ((flags & LABEL_INTERACTIVE) && (flags & LABEL_HOVERING) && hoverBitmap.Handle())
        bitmap = hoverBitmap.Handle();
    BITMAP info = {};
    if (!GetObjectW(bitmap, sizeof(info), &info))
        return;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory)
        return;
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (scaleX == 1.0f) {
        BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    } else {
        if (!SetStretchBltMode(dc, HALFTONE))
            SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, 0, 0, (int)(info.bmWidth * scaleX), (int)(info.bmHeight * scaleY), memory, 0, 0, info.bmWidth,
                   info.bmHeight, SRCCOPY);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
}

void LabelControl::Paint() {
    Locked locked(lock);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control, &paint);
    if (!dc)
        return;
    int saved = SaveDC(dc);
    SelectObject(dc, font.Handle());
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(control, &client);
    if (!(flags & LABEL_TRANSPARENT)) {
        HBRUSH brush = nullptr;
        if (!(flags & LABEL_WHITE_BACKGROUND))
            brush = (HBRUSH)SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)control);
        FillRect(dc, &client, brush ? brush : (HBRUSH)GetStockObject(WHITE_BRUSH));
    }
    if (normalBitmap.Handle())
        PaintBitmap(dc);
    if (flags & LABEL_DISABLED)
        SetTextColor(dc, disabledColor);
    else if ((flags & LABEL_INTERACTIVE) && (flags & LABEL_HOVERING))
        SetTextColor(dc, hoverColor);
    else if (!(flags & LABEL_KEEP_TEXT_COLOR))
        SetTextColor(dc, normalColor);
    RECT area = TextArea();
    DrawTextW(dc, text, text.Length(), &area, format);

    if (flags & (LABEL_FRAME | LABEL_DOUBLE_FRAME)) {
        HBRUSH frame = CreateSolidBrush(frameColor);
        RECT line = client;
        int lines = (flags & LABEL_DOUBLE_FRAME) ? 3 : 1;
        if (flags & LABEL_FRAME)
            FrameRect(dc, &line, frame);
        if (flags & LABEL_DOUBLE_FRAME) {
            for (int i = 1; i < lines; i++) {
                InflateRect(&line, -1, -1);
                FrameRect(dc, &line, frame);
            }
        }
        DeleteObject(frame);
    }
    static const struct {
        DWORD flag;
        UINT edge;
    } edges[] = {{LABEL_EDGE_BUMP, EDGE_BUMP},
                 {LABEL_EDGE_ETCHED, EDGE_ETCHED},
                 {LABEL_EDGE_RAISED, EDGE_RAISED},
                 {LABEL_EDGE_SUNKEN, EDGE_SUNKEN}};
    for (const auto& edge : edges) {
        RECT box = client;
        if (flags & edge.flag)
            DrawEdge(dc, &box, edge.edge, BF_RECT);
    }
    if ((flags & LABEL_FOCUSED) && !(flags & LABEL_NOT_FOCUSABLE)) {
        RECT focus = client;
        if (!(flags & LABEL_WHOLE_CLIENT)) {
            if (format & DT_CENTER)
                focus.left = (client.right - textSize.cx) / 2;
            else if (format & DT_RIGHT)
                focus.left = client.right - textSize.cx;
            focus.right = focus.left + textSize.cx;
        }
        DrawFocusRect(dc, &focus);
    }
    RestoreDC(dc, saved);
    EndPaint(control, &paint);
}

int LabelControl::HookProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData) {
    return static_cast<LabelControl*>(userData)->OnMessage(message, wParam, lParam, result);
}

int LabelControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 1;
        case WM_SETFOCUS:
            flags |= LABEL_FOCUSED;
            Invalidate(0);
            return 1;
        case WM_KILLFOCUS:
            flags &= ~LABEL_FOCUSED;
            Invalidate(0);
            return 1;
        case WM_ENABLE:
            if (wParam)
                flags &= ~LABEL_DISABLED;
            else
                flags |= LABEL_DISABLED;
            Invalidate(0);
            return 1;
        case WM_SETTEXT:
            SetText(reinterpret_cast<const wchar_t*>(lParam));
            *result = TRUE;
            return 1;
        case WM_GETTEXT: {
            // The caption lives here, not in the static: screen readers and other processes ask for it.
            wchar_t* buffer = reinterpret_cast<wchar_t*>(lParam);
            int copied = 0;
            if (buffer && wParam > 0) {
                Locked locked(lock);
                copied = text.Length() < (int)wParam - 1 ? text.Length() : (int)wParam - 1;
                wmemcpy(buffer, text, copied);
                buffer[copied] = 0;
            }
            *result = copied;
            return 1;
        }
        case WM_GETTEXTLENGTH: {
            Locked locked(lock);
            *result = text.Length();
            return 1;
        }
        case WM_CANCELMODE:
            flags &= ~LABEL_HOVERING;
            Invalidate(1);
            return 1;
        case WM_SETCURSOR:
            if ((flags & LABEL_HOVERING) && cursorId)
                ShowCursor();
            else
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            *result = TRUE;
            return 1;
        case WM_NCHITTEST:
            // A static answers HTTRANSPARENT and never sees the mouse.
            *result = HTCLIENT;
            return 1;
        case WM_GETDLGCODE: {
            if (flags & LABEL_NOT_FOCUSABLE)
                return 0;
            const MSG* pending = reinterpret_cast<const MSG*>(lParam);
            *result = DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
            // Enter and Space come to the label instead of pressing the dialog's default button.
            if (pending && pending->message == WM_KEYDOWN &&
                (pending->wParam == VK_RETURN || pending->wParam == VK_SPACE))
                *result |= DLGC_WANTMESSAGE;
            return 1;
        }
        case WM_KEYDOWN:
            // Letters reach a focused static too; only Enter and Space are a click.
            if (wParam == VK_RETURN)
                Event(LABEL_EVENT_ENTER, 1);
            else if (wParam == VK_SPACE)
                Event(LABEL_EVENT_SPACE, 1);
            return 1;
        case WM_MOUSEMOVE: {
            if (!(flags & LABEL_INTERACTIVE))
                return 0;
            int hit = HitTest();
            if (!(flags & LABEL_HOVERING) && hit) {
                flags |= LABEL_HOVERING;
                hover.Track(control);
                if (GetKeyState(VK_LBUTTON) < 0)
                    flags |= LABEL_PRESSED;
                Invalidate(1);
                if (cursorId)
                    ShowCursor();
            } else if ((flags & LABEL_HOVERING) && !hit) {
                flags &= ~LABEL_HOVERING;
                Invalidate(1);
                if (cursorId)
                    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            }
            return 1;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            flags |= LABEL_PRESSED;
            Event(LABEL_EVENT_PRESSED, 0);
            Invalidate(1);
            return 1;
        case WM_LBUTTONUP:
            flags &= ~LABEL_PRESSED;
            if (flags & LABEL_HOVERING)
                Event(LABEL_EVENT_CLICKED, 1);
            Invalidate(1);
            return 1;
        case WM_MOUSELEAVE:
            if (!(flags & LABEL_INTERACTIVE))
                return 0;
            flags &= ~(LABEL_HOVERING | LABEL_PRESSED);
            Invalidate(1);
            return 1;
        default:
            return 0;
    }
}
