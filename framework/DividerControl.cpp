#include "framework/DividerControl.h"

#include "base/GdiObject.h"
#include "framework/PaintDc.h"

#include <vsstyle.h>

namespace {

// The toolbar class's separator parts, named after the line they draw.
const int ToolbarSeparatorVertical = TP_SEPARATOR;
const int ToolbarSeparatorHorizontal = TP_SEPARATORVERT;

} // namespace

int DividerControl::Attach(HWND target) {
    Detach();
    control = target;
    if (!control)
        return 0;
    theme.Open(control, L"Toolbar");
    if (!hook.Attach(control, HookProc, this))
        return 0;
    LONG_PTR extended = GetWindowLongPtrW(control, GWL_EXSTYLE);
    SetWindowLongPtrW(control, GWL_EXSTYLE, (extended | WS_EX_TRANSPARENT) & ~(WS_EX_WINDOWEDGE | WS_EX_STATICEDGE));
    RECT area;
    GetWindowRect(control, &area);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&area), 2);
    int width = area.right - area.left, height = area.bottom - area.top;
    horizontal = height < width;
    // The themed separator part has its line in the middle of a 5-pixel band; the band is placed so that
    // the line falls where the thin static was.
    if (horizontal)
        SetWindowPos(control, nullptr, area.left - 2, area.top - 1, width + 3, 5, SWP_NOZORDER | SWP_NOACTIVATE);
    else
        SetWindowPos(control, nullptr, area.left - 1, area.top - 2, 5, height + 3, SWP_NOZORDER | SWP_NOACTIVATE);
    return 1;
}

void DividerControl::Detach() {
    hook.Detach();
    theme.Close();
    control = nullptr;
}

void DividerControl::SetLineColor(COLORREF color) {
    lineColor = color;
    if (control)
        InvalidateRect(control, nullptr, FALSE);
}

void DividerControl::Paint() {
    PaintDc dc(control);
    if (!dc)
        return;
    RECT client;
    GetClientRect(control, &client);
    if (lineColor != CLR_INVALID) {
        // One pixel where the themed part has its line: the middle of the band.
        RECT line = client;
        if (horizontal)
            line.bottom = (line.top = client.bottom / 2) + 1;
        else
            line.right = (line.left = client.right / 2) + 1;
        GdiObject brush(CreateSolidBrush(lineColor));
        FillRect(dc, &line, brush.As<HBRUSH>());
        return;
    }
    if (!theme.DrawBackground(dc, horizontal ? ToolbarSeparatorHorizontal : ToolbarSeparatorVertical, TS_NORMAL,
                              client)) {
        client.top += 2;
        client.left += 1;
        client.bottom -= 1;
        DrawEdge(dc, &client, EDGE_ETCHED, horizontal ? BF_TOP : BF_LEFT);
    }
}

int DividerControl::HookProc(HWND, UINT message, WPARAM, LPARAM, LRESULT* result, void* userData) {
    if (message != WM_PAINT)
        return 0;
    static_cast<DividerControl*>(userData)->Paint();
    *result = 0;
    return 1;
}
