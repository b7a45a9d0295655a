#include "update/UpdateNames.h"

#include "framework/Url.h"
#include "update/ContainedPath.h"

#include <wchar.h>
#include <wctype.h>

namespace {

int EndsWithNoCase(const wchar_t* text, size_t length, const wchar_t* end) {
    size_t n = wcslen(end);
    return length >= n && _wcsnicmp(text + length - n, end, n) == 0;
}

} // namespace

void UpdateNames::Normalized(const wchar_t* name, WString& out) {
    out.Assign(name);
    for (wchar_t* p = out.Buffer(); p && *p; p++)
        *p = *p == L'/' ? L'\\' : (wchar_t)towlower(*p);
}

int UpdateNames::IsUpdatable(const wchar_t* name) {
    if (!IsContainedName(name))
        return 0;
    // Loaded by the program or by Windows for it: libraries and the files that redirect where libraries
    // come from (".local" folders, manifests, configuration), language resources; read by it: settings,
    // the portable marker, the icon cache and its journals, the crash reports, the update's own journal.
    static const wchar_t* const refusedExtensions[] = {L".dll", L".ocx",      L".cpl",   L".drv",    L".sys",
                                                       L".mui", L".manifest", L".local", L".config", L".ini",
                                                       L".dat", L".tlb",      L".ax",    L".lnk",    L".url"};
    const wchar_t* part = name;
    for (const wchar_t* p = name;; p++) {
        if (*p && *p != L'\\' && *p != L'/')
            continue;
        size_t length = (size_t)(p - part);
        for (const wchar_t* extension : refusedExtensions)
            if (EndsWithNoCase(part, length, extension))
                return 0;
        WString component;
        component.Assign(part, (unsigned)length);
        if (component.FindNoCase(L".sql") || component.FindNoCase(L".journal") ||
            EndsWithNoCase(part, length, L"_Debug.txt") || EndsWithNoCase(part, length, L"_Debug.dmp"))
            return 0;
        if (!*p)
            return 1;
        part = p + 1;
    }
}

void UpdateNames::MarkedPath(const wchar_t* path, const wchar_t* mark, WString& out) {
    size_t length = wcslen(path);
    const wchar_t* dot = wcsrchr(path, L'.');
    WString extension;
    if (dot) {
        const wchar_t* end = dot;
        while (*end && *end != L'?')
            end++;
        extension.Assign(dot, (unsigned)(end - dot));
        if (wcspbrk(extension, L" /\\"))
            extension.Assign(L"");
    }
    size_t cut = dot && (size_t)(path + length - dot) <= 4 ? (size_t)(dot - path) : length;
    out.Assign(path, (unsigned)cut);
    out.Append(mark);
    out.Append(extension);
}

void UpdateNames::InstallerName(const wchar_t* installerUrl, WString& name) {
    const wchar_t* source = wcschr(installerUrl, L'=');
    source = source ? source + 1 : installerUrl;
    const wchar_t* slash = wcsrchr(source, L'/');
    const wchar_t* backslash = wcsrchr(source, L'\\');
    if (backslash > slash)
        slash = backslash;
    name.Assign(slash ? slash + 1 : source);
}

int UpdateNames::IsWebAddress(const wchar_t* address) {
    Url url;
    return url.Parse(address);
}
