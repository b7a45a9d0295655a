#pragma once
// The few facts about the running Windows that the foundation library itself needs: the platform
// family, the major version and the common controls version. The full classification and naming of
// Windows versions lives in sysinfo, above this library.

#include <windows.h>

// 1 on the NT family, 0 on Windows 95, 98 and ME.
int IsNtPlatform();
// The major version number the system reports to this program (5 for 2000 and XP, 6 from Vista on).
unsigned WindowsMajorVersion();
// The version of the comctl32.dll this process uses, major in the high word and minor in the low word
// (0x60000 for 6.0); 0 when it cannot be told. Asked once per process.
DWORD CommonControlsVersion();
