#include "update/ContainedPath.h"

#include <wchar.h>

namespace {

int IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Characters no Windows file name may hold. ':' is among them on purpose: besides drive letters
// ("C:x" is relative to drive C's current folder, not to ours) it opens an alternate data stream.
int IsForbidden(wchar_t c) {
    return c < 0x20 || wcschr(L"<>\"|?*:", c) != nullptr;
}

wchar_t Upper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? (wchar_t)(c - L'a' + L'A') : c;
}

// Windows opens a device, not a file, for these names in ANY folder and with any extension ("nul.txt",
// "com1.zip"), and ignores spaces before the extension. The superscript digits count as well.
int IsDeviceName(const wchar_t* part, size_t length) {
    size_t base = 0;
    while (base < length && part[base] != L'.')
        base++;
    while (base > 0 && part[base - 1] == L' ')
        base--;
    static const wchar_t* const plain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* device : plain) {
        size_t n = wcslen(device);
        if (n != base)
            continue;
        size_t i = 0;
        while (i < n && Upper(part[i]) == device[i])
            i++;
        if (i == n)
            return 1;
    }
    if (base != 4)
        return 0;
    wchar_t a = Upper(part[0]), b = Upper(part[1]), c = Upper(part[2]), digit = part[3];
    int numbered = (a == L'C' && b == L'O' && c == L'M') || (a == L'L' && b == L'P' && c == L'T');
    // COM0 and LPT0 too: reserved by the documentation, whatever a given Windows opens for them.
    int isDigit = (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
    return numbered && isDigit;
}

// An 8.3 short name ("VELTRI~1.EXE", "PROGRA~1"): a second name of some file or folder whose long name
// may be anything, so two names of one answer, or an answer's name and the program's own, could reach the
// same file. A "~" followed by digits up to the extension or the end marks one.
int IsShortName(const wchar_t* part, size_t length) {
    for (size_t i = 0; i < length; i++) {
        if (part[i] != L'~')
            continue;
        size_t j = i + 1;
        while (j < length && part[j] >= L'0' && part[j] <= L'9')
            j++;
        if (j > i + 1 && (j == length || part[j] == L'.'))
            return 1;
    }
    return 0;
}

} // namespace

int IsContainedName(const wchar_t* name, int allowFolder) {
    // A leading separator is an absolute path on the current drive, or a UNC or device path ("\\?\").
    if (!name || !name[0] || IsSeparator(name[0]))
        return 0;
    const wchar_t* part = name;
    for (const wchar_t* p = name;; p++) {
        if (*p && !IsSeparator(*p)) {
            if (IsForbidden(*p))
                return 0;
            continue;
        }
        size_t length = (size_t)(p - part);
        if (length == 0)
            // Only the very end may be empty: the trailing separator of a folder entry ("sub/").
            return *p == 0 && allowFolder;
        // Windows drops trailing dots and spaces, so "a." and "a " would be "a" under another name; this
        // also refuses "." and "..".
        if (part[length - 1] == L'.' || part[length - 1] == L' ')
            return 0;
        if (IsDeviceName(part, length) || IsShortName(part, length))
            return 0;
        if (*p == 0)
            return 1;
        part = p + 1;
    }
}

int IsContainedName(const wchar_t* name) {
    return IsContainedName(name, 0);
}

int IsPlainFileName(const wchar_t* name) {
    return IsContainedName(name, 0) && !wcspbrk(name, L"\\/");
}
