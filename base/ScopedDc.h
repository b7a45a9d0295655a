#pragma once
// The device context of a window, or of the screen when there is no window, released when the scope ends.

#include <windows.h>

class ScopedDc {
public:
    explicit ScopedDc(HWND window = nullptr) : window(window), dc(GetDC(window)) {}
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
