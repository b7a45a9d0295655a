#pragma once
// Crashes a running Veltrix.exe from outside: a new thread started at a function of the crash probe
// library (crash_probe.dll, beside the calling program) loaded into it, or at an address with no code.
// (Its window thread cannot be crashed from outside under Wine: a fault in a hook or a window procedure
// called back from the system is ignored there, on 64-bit Wine, and never reaches the program's
// exception filter.)

#include <windows.h>

namespace RemoteCrash {

// Loads crash_probe.dll into the process (a thread of its own at LoadLibraryW) and gives the address the
// named function has there; 0 when that failed.
ULONG_PTR LoadProbe(HANDLE process, DWORD processId, const char* function);
// Starts a thread of the process at the probe function, or at address 0x10 for null; its identifier, 0
// when it could not be started.
DWORD CrashNewThread(DWORD processId, const char* function);
// Starts a thread of the process at an address of its own, with a null parameter; its identifier or 0.
DWORD StartThreadAt(DWORD processId, ULONG_PTR address);
// Where the named module is loaded in the process; 0 when it is not.
ULONG_PTR ModuleBase(DWORD processId, const wchar_t* name);

} // namespace RemoteCrash
