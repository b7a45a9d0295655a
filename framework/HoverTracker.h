#pragma once
// Delivers WM_MOUSELEAVE to a window once the mouse has left it: through TrackMouseEvent where the
// system has it, else by polling the cursor every 100 ms.

#include "base/Library.h"

#include <windows.h>

class HoverTracker {
public:
    HoverTracker() = default;
    ~HoverTracker() { Stop(); }
    HoverTracker(const HoverTracker&) = delete;
    HoverTracker& operator=(const HoverTracker&) = delete;

    int Track(HWND window);
    // Ends a pending poll; a system tracking request ends by itself with the window.
    void Stop();
    // Leaves TrackMouseEvent aside, as on a system without it.
    void UsePolling() { pollOnly = 1; }
    int IsPolling() const { return polled != nullptr; }

private:
    typedef BOOL(WINAPI* TrackMouseEventFn)(LPTRACKMOUSEEVENT);
    static VOID CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
    UINT_PTR TimerId() const { return reinterpret_cast<UINT_PTR>(this); }

    Library user32;
    TrackMouseEventFn trackMouseEvent = nullptr;
    int looked = 0;
    int pollOnly = 0;
    HWND polled = nullptr;
    RECT area = {0, 0, 0, 0};
};
