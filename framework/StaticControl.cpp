#include "framework/StaticControl.h"

#include "base/FontEnumeration.h"
#include "framework/PaintDc.h"

#include <wchar.h>

LONG_PTR StaticControl::Adopt(HWND target, DWORD controlOptions, WORD cursor) {
    control = target;
    options = controlOptions;
    state = 0;
    cursorId = cursor;
    lock.Init();
    LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    if (!(style & WS_TABSTOP))
        options |= kind.notFocusable;
    if (!(options & kind.ignoreTransparent) && (GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_TRANSPARENT))
        options |= kind.transparent;
    return style;
}

void StaticControl::TakeCaption(const wchar_t* caption) {
    if (caption) {
        text.Assign(caption);
    } else {
        int length = GetWindowTextLengthW(control);
        WString own((unsigned)length + 1);
        GetWindowTextW(control, own.Buffer(), length + 1);
        own.Recount();
        text.Assign(own);
    }
    SetWindowTextW(control, L"");
}

int StaticControl::Hook() {
    return hook.Attach(control, HookProc, this);
}

void StaticControl::Release() {
    hook.Detach();
    hover.Stop();
    lock.Delete();
}

UINT StaticControl::FormatFromStyle(LONG_PTR style) {
    UINT styled = 0;
    if ((style & SS_TYPEMASK) == SS_CENTER)
        styled |= DT_CENTER;
    else if ((style & SS_TYPEMASK) == SS_RIGHT)
        styled |= DT_RIGHT;
    if (style & SS_CENTERIMAGE)
        styled |= DT_VCENTER;
    if (style & SS_NOPREFIX)
        styled |= DT_NOPREFIX;
    return styled;
}

void StaticControl::FirstInstalledFace(const wchar_t* list, const wchar_t* fallback, WString& face) {
    WString faces(list);
    face.Assign(fallback);
    for (wchar_t* name = faces.Tokenize(WString::FIRST_TOKEN, L",;"); name;
         name = faces.Tokenize(WString::NEXT_TOKEN, L",;")) {
        WString candidate(name);
        candidate.TrimLeft();
        candidate.TrimRight();
        if (!candidate.IsEmpty() && EnumerateFonts(nullptr, nullptr, candidate, DEFAULT_CHARSET, nullptr)) {
            face.Assign(candidate);
            return;
        }
    }
}

int StaticControl::ControlFont(LOGFONTW& font) const {
    HFONT own = (HFONT)SendMessageW(control, WM_GETFONT, 0, 0);
    return GetObjectW(own ? own : GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font) != 0;
}

void StaticControl::MeasureText(HGDIOBJ font, const WString& shown) {
    textSize.cx = textSize.cy = 0;
    ScopedDc dc(control);
    ScopedSelect selected(dc, font);
    if (!GetTextExtentPoint32W(dc, shown, shown.Length(), &textSize))
        textSize.cx = textSize.cy = 0;
}

void StaticControl::Invalidate(Repaint repaint) const {
    if (!control || repaint == NO_REPAINT)
        return;
    if (repaint == WITH_PARENT && (options & kind.transparent)) {
        HWND parent = GetParent(control);
        RECT area;
        GetWindowRect(control, &area);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
        InvalidateRect(parent, &area, kind.parentErase == PARENT_ERASED);
    }
    InvalidateRect(control, nullptr, FALSE);
}

int StaticControl::HitTest() const {
    POINT cursor;
    if (textSize.cy == 0 || !GetCursorPos(&cursor))
        return 1;
    ScreenToClient(control, &cursor);
    RECT client;
    GetClientRect(control, &client);
    if (!PtInRect(&client, cursor))
        return 0;
    if (options & kind.wholeClient)
        return 1;
    int width = client.right;
    if (format & DT_CENTER) {
        int margin = (width - textSize.cx) / 2;
        return cursor.x > margin && cursor.x < width - margin;
    }
    if (format & DT_RIGHT)
        return cursor.x > width - textSize.cx;
    return cursor.x < textSize.cx;
}

void StaticControl::FillBackground(HDC dc, const RECT& client) const {
    if (options & kind.transparent)
        return;
    HBRUSH brush = nullptr;
    if (!(options & kind.whiteBackground))
        brush = (HBRUSH)SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)control);
    FillRect(dc, &client, brush ? brush : (HBRUSH)GetStockObject(WHITE_BRUSH));
}

RECT StaticControl::TextColumn(const RECT& client) const {
    RECT column = client;
    if (options & kind.wholeClient)
        return column;
    if (format & DT_CENTER)
        column.left = (client.right - textSize.cx) / 2;
    else if (format & DT_RIGHT)
        column.left = client.right - textSize.cx;
    column.right = column.left + textSize.cx;
    return column;
}

void StaticControl::ShowHoverCursor() const {
    HINSTANCE module = (options & kind.systemCursor)
                           ? nullptr
                           : reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(control, GWLP_HINSTANCE));
    HCURSOR cursor = cursorId ? LoadCursorW(module, MAKEINTRESOURCEW(cursorId)) : nullptr;
    // SetCursor(null) would hide the pointer altogether.
    if (!cursor)
        cursor = LoadCursorW(nullptr, kind.missingCursor);
    if (!cursor)
        cursor = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(cursor);
}

StaticControl::HoverChange StaticControl::FollowMouse() {
    int hit = HitTest();
    if (!(state & STATIC_HOVERING) && hit) {
        state |= STATIC_HOVERING;
        hover.Track(control);
        Invalidate(WITH_PARENT);
        ShowHoverCursor();
        return HOVER_ENTERED;
    }
    if ((state & STATIC_HOVERING) && !hit) {
        state &= ~STATIC_HOVERING;
        Invalidate(WITH_PARENT);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return HOVER_LEFT;
    }
    return HOVER_KEPT;
}

void StaticControl::Paint() {
    PaintDc dc(control);
    if (!dc)
        return;
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(control, &client);
    Draw(dc, client);
}

int StaticControl::HookProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData) {
    return static_cast<StaticControl*>(userData)->OnMessage(message, wParam, lParam, result);
}

int StaticControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 1;
        case WM_SETTEXT:
            SetText(reinterpret_cast<const wchar_t*>(lParam));
            *result = TRUE;
            return 1;
        case WM_GETTEXT: {
            // The caption lives here, not in the static: screen readers and other processes ask for it.
            // A zero-sized buffer gets nothing.
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
        case WM_SETFOCUS:
            state |= STATIC_FOCUSED;
            Invalidate(kind.stateRepaint);
            return 1;
        case WM_KILLFOCUS:
            state &= ~STATIC_FOCUSED;
            Invalidate(kind.stateRepaint);
            return 1;
        case WM_ENABLE:
            if (wParam)
                state &= ~STATIC_DISABLED;
            else
                state |= STATIC_DISABLED;
            Invalidate(kind.stateRepaint);
            return 1;
        case WM_SETCURSOR:
            if (state & STATIC_HOVERING)
                ShowHoverCursor();
            else
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            *result = TRUE;
            return 1;
        case WM_CANCELMODE:
            state &= ~STATIC_HOVERING;
            Invalidate(WITH_PARENT);
            return 1;
        case WM_MOUSELEAVE:
            state &= ~(STATIC_HOVERING | STATIC_PRESSED);
            Invalidate(WITH_PARENT);
            return 1;
        default:
            return 0;
    }
}
