#include "framework/OpenAddress.h"

#include <shellapi.h>

int OpenAddress(const wchar_t* address) {
    if (!address || !address[0])
        return 0;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = L"open";
    info.lpFile = address;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) ? 1 : 0;
}
