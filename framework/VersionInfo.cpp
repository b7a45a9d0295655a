#include "framework/VersionInfo.h"

#include <stdio.h>

namespace {

// The two string blocks the program's resource carries: German first, then English (Unicode).
const wchar_t* const blocks[] = {L"\\StringFileInfo\\040704B0\\%s", L"\\StringFileInfo\\040904B0\\%s"};

// Loads the version resource of a file and finds one string in it.
int QueryVersionString(const wchar_t* file, const wchar_t* valueName, WString& value) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(file, &handle);
    if (size == 0)
        return 0;
    void* data = LocalAlloc(LMEM_ZEROINIT, size);
    if (!data)
        return 0;
    int found = 0;
    if (GetFileVersionInfoW(file, 0, size, data)) {
        for (const wchar_t* block : blocks) {
            WString query;
            query.Format(block, valueName);
            wchar_t* text = nullptr;
            UINT length = 0;
            if (VerQueryValueW(data, query, (void**)&text, &length) && text && length > 0) {
                // The length counts the terminator when there is one; never read beyond it.
                value.Assign(text, text[length - 1] == 0 ? length - 1 : length);
                found = 1;
                break;
            }
        }
    }
    LocalFree(data);
    return found;
}

} // namespace

int VersionInfo::ModulePath(HMODULE module, WString& path) {
    if (!path.Reset(MAX_PATH + 1))
        return 0;
    DWORD length = GetModuleFileNameW(module, path.Buffer(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        path.Assign(L"");
        return 0;
    }
    path.Buffer()[length] = 0;
    path.Recount();
    return 1;
}

int VersionInfo::ModuleDirectory(HMODULE module, WString& directory) {
    if (!ModulePath(module, directory))
        return 0;
    int slash = directory.LastIndexOf(L'\\');
    directory.Left(slash + 1);
    return 1;
}

int VersionInfo::FileVersionText(const wchar_t* file, unsigned* major, unsigned* minor, WString* text) {
    WString version;
    if (!file || !QueryVersionString(file, L"FileVersion", version))
        return 0;
    unsigned parsedMajor = 0, parsedMinor = 0;
    int fields = swscanf(version, L"%u.%u", &parsedMajor, &parsedMinor);
    if (fields >= 1 && major)
        *major = parsedMajor;
    if (fields >= 2 && minor)
        *minor = parsedMinor;
    if (text)
        text->Assign(version);
    return 1;
}

unsigned short VersionInfo::VersionNumber(HMODULE module, WString* text) {
    WString path;
    unsigned major = 1, minor = 1;
    if (ModulePath(module, path))
        FileVersionText(path, &major, &minor, text);
    return (unsigned short)(major * 256 + minor);
}

const wchar_t* VersionInfo::VersionTitle(const wchar_t* name, HMODULE module, wchar_t* buffer) {
    wchar_t* target = buffer ? buffer : title;
    WString path;
    unsigned major = 1, minor = 1;
    if (ModulePath(module, path))
        FileVersionText(path, &major, &minor, nullptr);
    _snwprintf(target, MAX_PATH, L"%s [%u.%02u]", name ? name : L"", major, minor);
    target[MAX_PATH - 1] = 0;
    return target;
}

int VersionInfo::VersionString(WString& target, const wchar_t* valueName, const wchar_t* file) {
    WString path;
    if (!file) {
        if (!ModulePath(nullptr, path))
            return 0;
        file = path;
    }
    return QueryVersionString(file, valueName, target);
}
