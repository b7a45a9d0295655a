// Prints how the running Windows is classified, so that tests can run it under every Windows
// version Wine can pretend to be.
#include "sysinfo/OsVersion.h"

#include <stdio.h>

int main() {
    unsigned long long basic = ClassifyOs();
    unsigned long long extended = ClassifyOsExtended();
    wchar_t buffer[MAX_PATH];
    const wchar_t* name = FormatOsName(buffer, OsKindOf(extended), OsEditionOf(extended));
    printf("kind=%#x edition=%#x xp=%d vista=%d seven=%d eight1=%d wine=%d name=%ls\n", OsKindOf(basic),
           OsEditionOf(basic), IsOsAtLeast(OS_XP, 0), IsOsAtLeast(OS_VISTA, 0), IsOsAtLeast(OS_7, 0),
           IsOsAtLeast(OS_81, 0), IsWine(), name);
    return 0;
}
