#include "base/HighContrast.h"

#include <windows.h>

#include <wchar.h>

int IsHighContrast() {
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof(contrast);
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
        (contrast.dwFlags & HCF_HIGHCONTRASTON))
        return 1;
    // Wine answers SPI_GETHIGHCONTRAST with "off" whatever is set, so that its painting could never be
    // seen there: under Wine, and only there, VELTRIX_HIGH_CONTRAST=1 stands in for the system's setting
    // (the tests and the screenshots of the high-contrast look set it).
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version"))
        return 0;
    wchar_t value[4] = L"";
    return GetEnvironmentVariableW(L"VELTRIX_HIGH_CONTRAST", value, 4) == 1 && value[0] == L'1';
}
