#include "framework/LabelControl.h"

#include "base/MemoryDc.h"
#include "base/ScopedSelect.h"

namespace {

const wchar_t* const DefaultFaces = L"Segoe UI;Verdana;MS Sans Serif";
const int FrameInset = 3;

const StaticControl::Kind LabelKind = {
    LABEL_TRANSPARENT,            // transparent
    LABEL_IGNORE_TRANSPARENT,     // ignoreTransparent
    LABEL_NOT_FOCUSABLE,          // notFocusable
    LABEL_WHOLE_CLIENT,           // wholeClient
    LABEL_WHITE_BACKGROUND,       // whiteBackground
    LABEL_SYSTEM_CURSOR,          // systemCursor
    IDC_ARROW,                    // missingCursor
    StaticControl::PARENT_ERASED, // parentErase
    StaticControl::CONTROL_ONLY,  // stateRepaint: the focus rectangle and the disabled colour are the label's alone
};

} // namespace

LabelControl::LabelControl() : StaticControl(labelHook, LabelKind), disabledColor(GetSysColor(COLOR_GRAYTEXT)) {}

void LabelControl::SetFaceList(const wchar_t* list, Repaint repaint) {
    FirstInstalledFace(list && list[0] ? list : DefaultFaces, L"Verdana", faceName);
    Invalidate(repaint);
}

RECT LabelControl::TextArea() const {
    RECT area = {0, 0, 0, 0};
    GetClientRect(control, &area);
    if (options & LABEL_ANY_FRAME)
        InflateRect(&area, -FrameInset, -FrameInset);
    return area;
}

void LabelControl::BuildFont() {
    font.Release();
    LOGFONTW own = {};
    if (options & LABEL_OWN_FONT) {
        if (ControlFont(own))
            font.CreateFont(own);
        MeasureText(font.Handle(), text);
        return;
    }
    RECT area = TextArea();
    int fixed = height && !(options & LABEL_FIT);
    FitFont(
        font, height ? height : area.bottom - area.top,
        [&](int size) {
            return CreateFontW(size, 0, 0, 0, (options & LABEL_BOLD) ? FW_BOLD : FW_NORMAL,
                               (options & LABEL_ITALIC) != 0, (options & LABEL_UNDERLINE) != 0, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, faceName);
        },
        [&](HDC dc) {
            RECT measured = area;
            if (fixed || !DrawTextW(dc, text, text.Length(), &measured, format | DT_CALCRECT))
                return true;
            return measured.right - measured.left < area.right - area.left &&
                   measured.bottom - measured.top < area.bottom - area.top;
        });
    MeasureText(font.Handle(), text);
}

int LabelControl::Attach(HWND target, const wchar_t* faceList, int fontHeight, COLORREF normal, COLORREF hoverText,
                         DWORD labelOptions, WORD cursor, LabelCallback eventCallback, void* eventUserData) {
    Detach();
    if (!target)
        return 0;
    height = fontHeight;
    normalColor = normal;
    hoverColor = hoverText;
    callback = eventCallback;
    userData = eventUserData;
    LONG_PTR style = Adopt(target, labelOptions, cursor);
    SetFaceList(faceList, NO_REPAINT);
    TakeCaption(nullptr);
    if (options & LABEL_INTERACTIVE)
        SetWindowLongPtrW(control, GWL_STYLE, style | SS_NOTIFY);

    format = ((options & LABEL_WORD_WRAP) ? DT_WORDBREAK : DT_SINGLELINE) | FormatFromStyle(style);
    if (options & LABEL_END_ELLIPSIS)
        format |= DT_END_ELLIPSIS;
    if (options & LABEL_VCENTER)
        format |= DT_VCENTER;

    BuildFont();
    int hooked = Hook();
    Invalidate(WITH_PARENT);
    return hooked;
}

void LabelControl::SetColors(COLORREF normal, COLORREF hover) {
    normalColor = normal;
    hoverColor = hover;
    Invalidate(WITH_PARENT);
}

void LabelControl::Refit() {
    if (!control)
        return;
    {
        Locked locked(lock);
        BuildFont();
    }
    Invalidate(WITH_PARENT);
}

void LabelControl::SetText(const wchar_t* newText) {
    {
        Locked locked(lock);
        text.Assign(newText ? newText : L"");
        if (options & LABEL_REFIT_ON_TEXT) {
            // Refit from the requested height (or from the client height) so that a shorter text grows again.
            if (!(options & LABEL_FIT))
                height = 0;
            BuildFont();
        } else {
            MeasureText(font.Handle(), text);
        }
    }
    Invalidate(WITH_PARENT);
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
    Release();
    font.Release();
    normalBitmap.Release();
    pressedBitmap.Release();
    hoverBitmap.Release();
}

void LabelControl::Event(int event, EventCommand command) {
    if (callback)
        callback(event, 0, userData, control);
    if (command == ALSO_COMMAND && (options & LABEL_COMMAND))
        SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), 0), (LPARAM)control);
}

void LabelControl::DrawBitmap(HDC dc) {
    HGDIOBJ bitmap = normalBitmap.Handle();
    if ((state & STATIC_PRESSED) && pressedBitmap.Handle())
        bitmap = pressedBitmap.Handle();
    else if ((options & LABEL_INTERACTIVE) && (state & STATIC_HOVERING) && hoverBitmap.Handle())
        bitmap = hoverBitmap.Handle();
    BITMAP info = {};
    if (!GetObjectW(bitmap, sizeof(info), &info))
        return;
    MemoryDc memory(dc);
    if (!memory)
        return;
    ScopedSelect selected(memory, bitmap);
    if (scaleX == 1.0f) {
        BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    } else {
        if (!SetStretchBltMode(dc, HALFTONE))
            SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, 0, 0, (int)(info.bmWidth * scaleX), (int)(info.bmHeight * scaleY), memory, 0, 0, info.bmWidth,
                   info.bmHeight, SRCCOPY);
    }
}

void LabelControl::DrawFrames(HDC dc, const RECT& client) {
    if (options & (LABEL_FRAME | LABEL_DOUBLE_FRAME)) {
        GdiObject frame(CreateSolidBrush(frameColor));
        RECT line = client;
        if (options & LABEL_FRAME)
            FrameRect(dc, &line, frame.As<HBRUSH>());
        if (options & LABEL_DOUBLE_FRAME) {
            for (int i = 1; i < 3; i++) {
                InflateRect(&line, -1, -1);
                FrameRect(dc, &line, frame.As<HBRUSH>());
            }
        }
    }
    static const struct {
        DWORD option;
        UINT edge;
    } edges[] = {{LABEL_EDGE_BUMP, EDGE_BUMP},
                 {LABEL_EDGE_ETCHED, EDGE_ETCHED},
                 {LABEL_EDGE_RAISED, EDGE_RAISED},
                 {LABEL_EDGE_SUNKEN, EDGE_SUNKEN}};
    for (const auto& edge : edges) {
        RECT box = client;
        if (options & edge.option)
            DrawEdge(dc, &box, edge.edge, BF_RECT);
    }
}

void LabelControl::Draw(HDC dc, const RECT& client) {
    Locked locked(lock);
    ScopedSelect selected(dc, font.Handle());
    FillBackground(dc, client);
    if (normalBitmap.Handle())
        DrawBitmap(dc);
    if (state & STATIC_DISABLED)
        SetTextColor(dc, disabledColor);
    else if ((options & LABEL_INTERACTIVE) && (state & STATIC_HOVERING))
        SetTextColor(dc, hoverColor);
    else if (!(options & LABEL_KEEP_TEXT_COLOR))
        SetTextColor(dc, normalColor);
    RECT area = TextArea();
    DrawTextW(dc, text, text.Length(), &area, format);
    DrawFrames(dc, client);
    if (ShowsFocus()) {
        // Across the text, from the top of the control to its bottom.
        RECT focus = TextColumn(client);
        DrawFocusRect(dc, &focus);
    }
}

int LabelControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
        case WM_NCHITTEST:
            // A static answers HTTRANSPARENT and never sees the mouse.
            *result = HTCLIENT;
            return 1;
        case WM_GETDLGCODE: {
            if (options & LABEL_NOT_FOCUSABLE)
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
                Event(LABEL_EVENT_ENTER, ALSO_COMMAND);
            else if (wParam == VK_SPACE)
                Event(LABEL_EVENT_SPACE, ALSO_COMMAND);
            return 1;
        case WM_MOUSEMOVE:
            if (!(options & LABEL_INTERACTIVE))
                return 0;
            if (FollowMouse() == HOVER_ENTERED && GetKeyState(VK_LBUTTON) < 0)
                state |= STATIC_PRESSED;
            return 1;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            state |= STATIC_PRESSED;
            Event(LABEL_EVENT_PRESSED, CALLBACK_ONLY);
            Invalidate(WITH_PARENT);
            return 1;
        case WM_LBUTTONUP:
            state &= ~STATIC_PRESSED;
            if (state & STATIC_HOVERING)
                Event(LABEL_EVENT_CLICKED, ALSO_COMMAND);
            Invalidate(WITH_PARENT);
            return 1;
        case WM_MOUSELEAVE:
            // Only an interactive label follows the mouse.
            return (options & LABEL_INTERACTIVE) && StaticControl::OnMessage(message, wParam, lParam, result);
        default:
            return StaticControl::OnMessage(message, wParam, lParam, result);
    }
}
