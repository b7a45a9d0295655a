#pragma once
// The device context of a window (its client area, or the whole window with its frame), or of the screen
// when there is no window, released when the scope ends.

#include <windows.h>

class ScopedDc {
public:
    enum Area { CLIENT_AREA, WHOLE_WINDOW };

    explicit ScopedDc(HWND window = nullptr, Area area = CLIENT_AREA)
        : window(window), dc(area == WHOLE_WINDOW ? GetWindowDC(window) : GetDC(window)) {}
    ~ScopedDc() {
        if (dc)
            ReleaseDC(window, dc);
    }
    ScopedDc(const ScopedDc&) = delete;
    ScopedDc& operator=(const ScopedDc&) = delete;

    HDC Get() const { return dc; }
    operator HDC() const { return dc; }

private:
    HWND window;
    HDC dc;
};
