#include "app/ShellRun.h"

#include "base/WString.h"

#include <shellapi.h>

int ShellRun(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory, int showCommand, int elevate,
             const wchar_t* verb) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = 0; // the shell shows its own error dialogs
    info.lpVerb = elevate == 1 ? L"runas" : verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = showCommand;
    // GCC has no structured-exception blocks: a shell extension that faults in here reaches the
    // process-wide exception filter instead of being turned into a 0.
    return ShellExecuteExW(&info) ? 1 : 0;
}

int ShellOpen(const wchar_t* text) {
    return ShellRun(text, nullptr, nullptr, SW_SHOWDEFAULT, 0, L"open");
}

int OpenUrl(const wchar_t* address) {
    WString parameters;
    parameters.Format(L"url.dll,FileProtocolHandler %s", address ? address : L"");
    return ShellRun(L"rundll32.exe", parameters, nullptr, SW_SHOWDEFAULT, 0, L"open");
}
