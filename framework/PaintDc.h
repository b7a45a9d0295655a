#pragma once
// The device context of a window's WM_PAINT, from BeginPaint to EndPaint; what is selected into it and
// its colours and modes are put back as they were before it ends.

#include <windows.h>

class PaintDc {
public:
    explicit PaintDc(HWND window) : window(window), dc(BeginPaint(window, &paint)), saved(dc ? SaveDC(dc) : 0) {}
    ~PaintDc() {
        if (!dc)
            return;
        RestoreDC(dc, saved);
        EndPaint(window, &paint);
    }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;

    operator HDC() const { return dc; }

private:
    HWND window;
    PAINTSTRUCT paint;
    HDC dc;
    int saved;
};
