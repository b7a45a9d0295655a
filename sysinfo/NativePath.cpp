#include "sysinfo/NativePath.h"

#include "base/RegistryRead.h"
#include "sysinfo/OsVersion.h"

#include <wchar.h>

namespace {

// Expands text with ExpandEnvironmentStringsW, growing the buffer as it asks.
int Expand(const wchar_t* text, WString& out) {
    DWORD needed = ExpandEnvironmentStringsW(text, nullptr, 0);
    if (needed == 0 || !out.Reset(needed + 1))
        return 0;
    DWORD length = ExpandEnvironmentStringsW(text, out.Buffer(), (DWORD)out.Capacity());
    if (length == 0 || length > out.Capacity())
        return 0;
    out.Recount();
    return 1;
}

// The program folder a variable names in a 64-bit process: 0 for ProgramFiles, 1 for CommonProgramFiles,
// -1 for every other name.
int ProgramFolderVariable(const wchar_t* name, size_t length) {
    if (length == 12 && _wcsnicmp(name, L"ProgramFiles", length) == 0)
        return 0;
    if (length == 18 && _wcsnicmp(name, L"CommonProgramFiles", length) == 0)
        return 1;
    return -1;
}

int IsDefined(const wchar_t* name, size_t length) {
    WString variable;
    if (!variable.Assign(name, (unsigned)length))
        return 0;
    wchar_t probe[1];
    SetLastError(ERROR_SUCCESS);
    return GetEnvironmentVariableW(variable, probe, 1) != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

} // namespace

int MapsNativePaths() {
#ifdef _WIN64
    return 0;
#else
    static const int wow64 = IsWow64();
    return wow64;
#endif
}

int NativePath(const wchar_t* path, WString& out) {
    if (!path)
        return 0;
    wchar_t windows[MAX_PATH] = L"";
    UINT length = MapsNativePaths() ? GetSystemWindowsDirectoryW(windows, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH)
        return out.Assign(path);
    if (windows[length - 1] == L'\\')
        windows[--length] = 0;
    // System32 itself, or anything below it; "System32x" is another folder.
    if (_wcsnicmp(path, windows, length) != 0 || _wcsnicmp(path + length, L"\\System32", 9) != 0)
        return out.Assign(path);
    const wchar_t* below = path + length + 9;
    if (*below && *below != L'\\')
        return out.Assign(path);
    return out.Assign(windows) && out.Append(L"\\Sysnative") && out.Append(below);
}

int ExpandNative(const wchar_t* text, WString& out) {
    if (!text)
        return 0;
    if (!MapsNativePaths())
        return Expand(text, out);
    // The two program folders are put in before the rest is expanded. A name is read as
    // ExpandEnvironmentStringsW reads it: an undefined one stays as it is, and its closing sign may open
    // the next name.
    WString replaced;
    replaced.Assign(L"");
    const wchar_t* at = text;
    while (*at) {
        const wchar_t* close = *at == L'%' ? wcschr(at + 1, L'%') : nullptr;
        if (!close) {
            replaced.AppendChar(*at++);
            continue;
        }
        size_t length = (size_t)(close - at - 1);
        int common = ProgramFolderVariable(at + 1, length);
        WString folder;
        if (common >= 0 && NativeProgramFolder(common, folder)) {
            replaced.Append(folder);
            at = close + 1;
        } else if (IsDefined(at + 1, length)) {
            WString name;
            name.Assign(at, (unsigned)(length + 2));
            replaced.Append(name);
            at = close + 1;
        } else {
            WString name;
            name.Assign(at, (unsigned)(length + 1));
            replaced.Append(name);
            at = close;
        }
    }
    return Expand(replaced, out);
}

int NativeProgramFolder(int common, WString& out) {
    WString value(MAX_PATH);
    DWORD length =
        GetEnvironmentVariableW(common ? L"CommonProgramW6432" : L"ProgramW6432", value.Buffer(), value.Capacity());
    if (length > 0 && length < value.Capacity()) {
        value.Recount();
        return out.Assign(value);
    }
    // Without WOW64 the program folders are the system's own.
    if (!MapsNativePaths())
        return Expand(common ? L"%CommonProgramFiles%" : L"%ProgramFiles%", out);
    return ReadRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                            common ? L"CommonFilesDir" : L"ProgramFilesDir", out, KEY_WOW64_64KEY);
}

int NativeSystemProgram(const wchar_t* fileName, WString& out) {
    // GetSystemDirectoryW names System32 under WOW64 too, which NativePath then maps.
    wchar_t system[MAX_PATH] = L"";
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (!fileName || length == 0 || length >= MAX_PATH)
        return 0;
    WString path(system);
    if (path.GetAt(path.Length() - 1) != L'\\')
        path.AppendChar(L'\\');
    path.Append(fileName);
    return NativePath(path, out);
}
