#include "app/program/TrayInstance.h"

#include <utility>

namespace {

// Local\: one resident instance per logon session, whichever copy of the program it runs from.
const wchar_t MutexName[] = L"Local\\Koravent.Veltrix.Tray";
const wchar_t MarkProperty[] = L"Koravent.Veltrix.Tray";
const DWORD FindLimit = 5000;

} // namespace

TrayInstance::~TrayInstance() {
    if (marked && IsWindow(marked))
        RemovePropW(marked, MarkProperty);
}

int TrayInstance::Claim() {
    if (mutex.Valid())
        return 1;
    KernelHandle handle(CreateMutexW(nullptr, FALSE, MutexName));
    DWORD error = GetLastError();
    if (!handle.Valid())
        return 1; // without the mutex nothing can be told: this instance stays
    if (error == ERROR_ALREADY_EXISTS)
        return 0;
    mutex = std::move(handle);
    return 1;
}

void TrayInstance::Mark(HWND window) {
    if (SetPropW(window, MarkProperty, reinterpret_cast<HANDLE>(1)))
        marked = window;
}

BOOL CALLBACK TrayInstance::FindMarked(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() || !GetPropW(window, MarkProperty))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND TrayInstance::FindRunning() {
    HWND running = nullptr;
    EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&running));
    return running;
}

int TrayInstance::OpenRunningMenu(UINT trayMessage) {
    DWORD begin = GetTickCount();
    for (;;) {
        HWND running = FindRunning();
        if (running) {
            // This process was just started by the user and may bring a window forward; the running one
            // may only when it is allowed to.
            DWORD process = 0;
            GetWindowThreadProcessId(running, &process);
            AllowSetForegroundWindow(process);
            return PostMessageW(running, trayMessage, 0, WM_LBUTTONDOWN) != 0;
        }
        if (GetTickCount() - begin > FindLimit)
            return 0;
        // The other instance holds the mutex but has not marked its window yet.
        Sleep(50);
    }
}
