#include "app/LongPath.h"

#include <windows.h>

#include <wchar.h>

int ExtendedPath(const wchar_t* path, WString& out) {
    size_t length = path ? wcslen(path) : 0;
    if (length < MAX_PATH || wcsncmp(path, L"\\\\?\\", 4) == 0)
        return out.Assign(path ? path : L"");
    // The prefix turns off the parsing of "." and ".." and of relative paths, so the path is made
    // absolute first.
    WString full(32768);
    DWORD fullLength = GetFullPathNameW(path, (DWORD)full.Capacity(), full.Buffer(), nullptr);
    if (fullLength == 0 || fullLength >= full.Capacity())
        return 0;
    full.Recount();
    const wchar_t* text = full.Buffer();
    if (text[0] == L'\\' && text[1] == L'\\') {
        out.Assign(L"\\\\?\\UNC\\");
        out.Append(text + 2);
    } else {
        out.Assign(L"\\\\?\\");
        out.Append(text);
    }
    return 1;
}

int ShellPath(const wchar_t* path, WString& out) {
    if (!path)
        return 0;
    if (wcslen(path) < MAX_PATH)
        return out.Assign(path);
    WString extended;
    if (!ExtendedPath(path, extended))
        return 0;
    WString shortPath(32768);
    DWORD length = GetShortPathNameW(extended, shortPath.Buffer(), (DWORD)shortPath.Capacity());
    if (length == 0 || length >= shortPath.Capacity())
        return 0;
    shortPath.Recount();
    const wchar_t* text = shortPath.Buffer();
    if (wcsncmp(text, L"\\\\?\\UNC\\", 8) == 0) {
        out.Assign(L"\\\\");
        out.Append(text + 8);
    } else if (wcsncmp(text, L"\\\\?\\", 4) == 0) {
        out.Assign(text + 4);
    } else {
        out.Assign(text);
    }
    return out.Length() < MAX_PATH;
}
