#pragma once
// The processes that a program under test started, directly or through the processes it started, found
// with Toolhelp snapshots against the processes that existed when this object was made. Whatever of them
// still runs when the object goes is ended, so a test leaves no window or process behind.

#include <windows.h>

#include <set>
#include <string>
#include <vector>

class StartedProcesses {
public:
    // Remembers the processes that exist now; `ancestor` is the process whose descendants count.
    explicit StartedProcesses(DWORD ancestor);
    ~StartedProcesses();
    StartedProcesses(const StartedProcesses&) = delete;
    StartedProcesses& operator=(const StartedProcesses&) = delete;

    // Processes started since then by the ancestor or its descendants.
    std::vector<DWORD> Current();
    // Processes of that file name (an installer's restart of the program) are left out from now on: not
    // counted, not ended.
    void Spare(const wchar_t* exeName) { spared = exeName ? exeName : L""; }
    // The first such process whose file name is `exeName` (e.g. L"control.exe"), or 0 after the time.
    DWORD WaitFor(const wchar_t* exeName, DWORD milliseconds);
    // The full path of a process's program file (QueryFullProcessImageNameW), empty when unknown.
    static std::wstring ImagePath(DWORD processId);
    // The visible top-level windows of a process.
    static std::vector<HWND> Windows(DWORD processId);

private:
    DWORD ancestor;
    std::set<DWORD> before;
    std::set<DWORD> seen;
    std::wstring spared;
};
