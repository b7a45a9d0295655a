#pragma once
// One notification-area icon per session: the first resident instance claims a named mutex and marks its
// main window; a later "-s" start finds that window, has it open its menu, and ends.

#include "base/KernelHandle.h"

#include <windows.h>

class TrayInstance {
public:
    TrayInstance() = default;
    ~TrayInstance();
    TrayInstance(const TrayInstance&) = delete;
    TrayInstance& operator=(const TrayInstance&) = delete;

    // 1 when no other resident instance runs in this session; the claim lasts while this object lives.
    int Claim();
    // Marks the claiming instance's main window, for a later start to find.
    void Mark(HWND window);
    // Posts the notification message of a left click to the running resident instance, which opens its
    // menu at the mouse; 1 when one was found within a few seconds (it may still be starting).
    static int OpenRunningMenu(UINT trayMessage);
    // The marked window of the resident instance running now in another process, or null; waits for none.
    static HWND FindRunning();

private:
    static BOOL CALLBACK FindMarked(HWND window, LPARAM found);

    KernelHandle mutex;
    HWND marked = nullptr;
};
