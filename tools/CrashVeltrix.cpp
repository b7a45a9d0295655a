// Crashes the running Veltrix.exe from outside, as the end-to-end tests do: a thread of it writes to null,
// and the program's own crash reporter answers. For looking at the problem-report dialog (the screenshot
// in docs/). Usage: crash_veltrix [PROCESS-ID]; without one, the process whose main window is found.
#include "e2e/RemoteCrash.h"

#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    if (wcsncmp(name, L"Kavrin_", 7) != 0)
        return TRUE;
    GetWindowThreadProcessId(window, reinterpret_cast<DWORD*>(parameter));
    return FALSE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD processId = argc > 1 ? wcstoul(argv[1], nullptr, 10) : 0;
    if (!processId)
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&processId));
    if (!processId) {
        fprintf(stderr, "crash_veltrix: no running Veltrix.exe\n");
        return 2;
    }
    DWORD thread = RemoteCrash::CrashNewThread(processId, "CrashNullWrite");
    if (!thread) {
        fprintf(stderr, "crash_veltrix: could not start the crashing thread in process %lu\n", processId);
        return 1;
    }
    printf("crash_veltrix: thread %lu of process %lu writes to null\n", thread, processId);
    return 0;
}
