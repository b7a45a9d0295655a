#include "base/Library.h"

#include <wchar.h>

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// LOAD_LIBRARY_SEARCH_SYSTEM32 is understood where AddDllDirectory exists (Windows 8, and Windows 7 and
// Vista with KB2533623); older loaders reject the flag with ERROR_INVALID_PARAMETER.
int LoaderHasSearchFlags() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
}

// 1 when the activation context in force redirects the name to a side-by-side assembly, as the
// program's manifest does for comctl32.dll (version 6). The loader then takes the assembly's copy and
// never searches the program's folder or the path for that name.
bool RedirectedSideBySide(const wchar_t* fileName) {
    typedef BOOL(WINAPI * FindActCtxSectionStringFn)(DWORD, const GUID*, ULONG, LPCWSTR, PACTCTX_SECTION_KEYED_DATA);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FindActCtxSectionStringFn find = kernel ? reinterpret_cast<FindActCtxSectionStringFn>(reinterpret_cast<void*>(
                                                  GetProcAddress(kernel, "FindActCtxSectionStringW")))
                                            : nullptr;
    if (!find)
        return false;
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof(data);
    // Without FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX no context handle is handed out to be released.
    return find(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, fileName, &data) != FALSE;
}

} // namespace

HMODULE Library::LoadFromSystem(const wchar_t* fileName, int useSearchFlags) {
    if (useSearchFlags)
        return LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A full path would bypass side-by-side redirection: comctl32.dll would come back as the system
    // folder's version 5.82 (no themed controls, image lists without alpha) instead of the version 6
    // the manifest asks for.
    if (RedirectedSideBySide(fileName))
        return LoadLibraryW(fileName);
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + wcslen(fileName) + 1 > MAX_PATH)
        return nullptr;
    if (path[length - 1] != L'\\')
        wcscat(path, L"\\");
    wcscat(path, fileName);
    return LoadLibraryW(path);
}

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
    module = bareName ? LoadFromSystem(fileName, LoaderHasSearchFlags()) : LoadLibraryW(fileName);
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
