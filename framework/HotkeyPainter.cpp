#include "framework/HotkeyPainter.h"

#include "base/GdiObject.h"
#include "base/MemoryDc.h"
#include "base/ScopedDc.h"
#include "base/ScopedSelect.h"
#include "framework/PaintDc.h"

namespace {

// One channel between the background's and the text's, as far as the ink covers the pixel (0 to 255).
DWORD Blend(COLORREF background, COLORREF text, int shift, int ink) {
    int from = (background >> shift) & 0xFF, to = (text >> shift) & 0xFF;
    return (DWORD)(from + (to - from) * ink / 255);
}

} // namespace

int HotkeyPainter::Attach(HWND target, COLORREF backgroundColor, COLORREF textColor, COLORREF frameColor) {
    background = backgroundColor;
    text = textColor;
    frame = frameColor;
    if (control != target) {
        Detach();
        control = target;
        if (!control || !hook.Attach(control, HookProc, this)) {
            control = nullptr;
            return 0;
        }
    }
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    return 1;
}

void HotkeyPainter::Detach() {
    hook.Detach();
    if (control)
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    control = nullptr;
}

HBRUSH HotkeyPainter::OnCtlColor(HDC dc) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return (HBRUSH)GetStockObject(WHITE_BRUSH);
}

int HotkeyPainter::Paint() {
    RECT client;
    GetClientRect(control, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return 0;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    GdiObject picture(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDc memory(nullptr);
    if (!picture.Handle() || !bits || !memory)
        return 0;
    ScopedSelect selected(memory, picture.Handle());
    // The control paints its text only; its background comes from WM_ERASEBKGND.
    PatBlt(memory, 0, 0, client.right, client.bottom, WHITENESS);
    // The control's own painting, black on white, its text and its font as the system shows them.
    printing = 1;
    CallWindowProcW(hook.PreviousProc(), control, WM_PRINTCLIENT, (WPARAM)(HDC)memory, PRF_CLIENT | PRF_ERASEBKGND);
    printing = 0;
    GdiFlush();
    DWORD* pixel = static_cast<DWORD*>(bits);
    int inked = 0;
    for (int i = 0; i < client.right * client.bottom; i++) {
        DWORD p = pixel[i];
        int ink = 255 - (int)(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3;
        inked |= ink;
        // COLORREF is 0x00BBGGRR, a DIB pixel 0x00RRGGBB.
        pixel[i] = (Blend(background, text, 0, ink) << 16) | (Blend(background, text, 8, ink) << 8) |
                   Blend(background, text, 16, ink);
    }
    // The control always shows a text, "None" at the least: a blank picture means it does not print
    // itself, and it paints in its own colours rather than not at all.
    if (!inked)
        return 0;
    PaintDc dc(control);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    return 1;
}

void HotkeyPainter::PaintFrame() {
    ScopedDc dc(control, ScopedDc::WHOLE_WINDOW);
    RECT whole, client;
    GetWindowRect(control, &whole);
    GetClientRect(control, &client);
    POINT origin = {0, 0};
    ClientToScreen(control, &origin);
    OffsetRect(&client, origin.x - whole.left, origin.y - whole.top);
    OffsetRect(&whole, -whole.left, -whole.top);
    if (!dc)
        return;
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    GdiObject fill(CreateSolidBrush(background)), line(CreateSolidBrush(frame));
    FillRect(dc, &whole, fill.As<HBRUSH>());
    FrameRect(dc, &whole, line.As<HBRUSH>());
}

int HotkeyPainter::HookProc(HWND, UINT message, WPARAM, LPARAM, LRESULT* result, void* userData) {
    HotkeyPainter* painter = static_cast<HotkeyPainter*>(userData);
    switch (message) {
        case WM_PAINT:
            if (!painter->Paint())
                return 0;
            break;
        case WM_NCPAINT:
            painter->PaintFrame();
            break;
        default:
            return 0;
    }
    *result = 0;
    return 1;
}
