#include "framework/HoverTracker.h"

int HoverTracker::Track(HWND window) {
    if (!window)
        return 0;
    if (!looked) {
        // Looked up rather than imported: Windows 95 and NT 3.51 lack it, and the program must start there.
        looked = 1;
        if (user32.Load(L"user32.dll"))
            trackMouseEvent = user32.Get<TrackMouseEventFn>("TrackMouseEvent");
    }
    if (trackMouseEvent && !pollOnly) {
        TRACKMOUSEEVENT request = {};
        request.cbSize = sizeof(request);
        request.dwFlags = TME_LEAVE;
        request.hwndTrack = window;
        request.dwHoverTime = HOVER_DEFAULT;
        return trackMouseEvent(&request) ? 1 : 0;
    }
    Stop();
    // The timer's identifier is this object's address, which the timer procedure turns back into it.
    if (!SetTimer(window, TimerId(), 100, OnTimer))
        return 0;
    polled = window;
    if (!GetWindowRect(window, &area)) {
        Stop();
        return 0;
    }
    return 1;
}

void HoverTracker::Stop() {
    if (!polled)
        return;
    KillTimer(polled, TimerId());
    polled = nullptr;
}

VOID CALLBACK HoverTracker::OnTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    HoverTracker* self = reinterpret_cast<HoverTracker*>(id);
    if (!self || self->polled != window) {
        KillTimer(window, id);
        return;
    }
    POINT cursor;
    if (GetCursorPos(&cursor) && PtInRect(&self->area, cursor) && WindowFromPoint(cursor) == window)
        return;
    self->Stop();
    PostMessageW(window, WM_MOUSELEAVE, 0, 0);
}
