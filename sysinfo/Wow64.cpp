#include "sysinfo/Wow64.h"

#include "base/Library.h"

#include <windows.h>

int IsWow64() {
    // IsWow64Process is missing before XP SP2; without it the process cannot be under WOW64.
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    Library kernel(L"kernel32.dll");
    IsWow64ProcessFn isWow64Process = kernel.Get<IsWow64ProcessFn>("IsWow64Process");
    BOOL wow64 = FALSE;
    if (!isWow64Process || !isWow64Process(GetCurrentProcess(), &wow64))
        return 0;
    return wow64 ? 1 : 0;
}
