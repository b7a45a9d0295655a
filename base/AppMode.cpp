#include "base/AppMode.h"

#include "base/HighContrast.h"
#include "base/RegistryRead.h"

#include <windows.h>

int AppsUseDarkMode() {
    if (IsHighContrast())
        return 0;
    // Windows keeps no documented call for the app mode in Win32; the setting page writes this value, and
    // Windows' own programs and the common frameworks read it. Absent (before 1809, or never chosen) is light.
    return ReadRegistryDword(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                             L"AppsUseLightTheme", 1) == 0;
}
