#include "base/Library.h"

#include <wchar.h>

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// LOAD_LIBRARY_SEARCH_SYSTEM32 is understood where AddDllDirectory exists (Windows 8, and Windows 7 and
// Vista with KB2533623); older loaders reject the flag with ERROR_INVALID_PARAMETER.
bool LoaderHasSearchFlags() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
}

HMODULE LoadFromSystemFolder(const wchar_t* fileName) {
    if (LoaderHasSearchFlags())
        return LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + wcslen(fileName) + 1 > MAX_PATH)
        return nullptr;
    if (path[length - 1] != L'\\')
        wcscat(path, L"\\");
    wcscat(path, fileName);
    return LoadLibraryW(path);
}

} // namespace

int Library::Load(const wchar_t* fileName) {
    Free();
    if (!fileName || !*fileName)
        return 0;
    // No "insert a disk" or "file not found" boxes while probing for optional libraries.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Every library this program loads by bare name is a system library. A bare name given to
    // LoadLibraryW is searched for in the program's folder and the current directory before the
    // system folder, so a DLL planted beside the program (a download folder, a USB stick) would run
    // inside it. Bare names are therefore loaded from the system folder only; a path is taken as given.
    bool bareName = !wcschr(fileName, L'\\') && !wcschr(fileName, L'/');
    module = bareName ? LoadFromSystemFolder(fileName) : LoadLibraryW(fileName);
    SetErrorMode(oldMode);
    return module != nullptr;
}

FARPROC Library::GetProc(const char* name) const {
    if (!module || !name)
        return nullptr;
    return GetProcAddress(module, name);
}

void Library::Free() {
    if (module)
        FreeLibrary(module);
    module = nullptr;
}
