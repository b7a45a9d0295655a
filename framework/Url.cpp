#include "framework/Url.h"

#include <wchar.h>

namespace {

// Names and IPv4 addresses in ASCII: an international name is given in its "xn--" form. Everything
// else, the '@' of a user name and the '\' that some readers take for a '/' included, ends the host.
int IsHostCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' || c == L'.' ||
           c == L'_';
}

// A control character (a CR or LF would end the request line and start a header of the sender's
// choosing), a space or DEL cannot go into a request line.
int IsPathCharacter(wchar_t c) {
    return c > L' ' && c != 0x7F;
}

} // namespace

void Url::Clear() {
    host.Assign(L"");
    path.Assign(L"");
    port = 0;
    secure = 0;
}

int Url::Parse(const wchar_t* text) {
    Clear();
    // Bounded before anything else is read: wcsnlen never walks past the limit.
    if (!text || wcsnlen(text, MaxLength + 1) > MaxLength)
        return 0;
    int https = _wcsnicmp(text, L"https://", 8) == 0;
    if (!https && _wcsnicmp(text, L"http://", 7) != 0)
        return 0;
    const wchar_t* start = text + (https ? 8 : 7);
    const wchar_t* p = start;
    while (IsHostCharacter(*p))
        p++;
    size_t hostLength = (size_t)(p - start);
    if (hostLength == 0 || hostLength > MaxHostLength)
        return 0;
    unsigned long number = https ? 443 : 80;
    if (*p == L':') {
        number = 0;
        int digits = 0;
        // Five digits at most: a longer number cannot be a port, and the sum cannot overflow.
        for (p++; *p >= L'0' && *p <= L'9'; p++) {
            if (++digits > 5)
                return 0;
            number = number * 10 + (unsigned long)(*p - L'0');
        }
        if (digits == 0 || number == 0 || number > 65535)
            return 0;
    }
    // The host (and port) end where the path, the query or the fragment begins, or with the text.
    if (*p && *p != L'/' && *p != L'?' && *p != L'#')
        return 0;
    const wchar_t* pathStart = p;
    while (*p && *p != L'#') {
        if (!IsPathCharacter(*p))
            return 0;
        p++;
    }
    // "http://host?query" asks for "/?query", as "http://host" asks for "/".
    if (!host.Assign(start, (unsigned)hostLength) || !path.Assign(pathStart, (unsigned)(p - pathStart)) ||
        (*pathStart != L'/' && !path.InsertChar(0, L'/'))) {
        Clear();
        return 0;
    }
    port = (unsigned short)number;
    secure = https;
    return 1;
}

int Url::Origin(WString& text) const {
    if (host.IsEmpty())
        return 0;
    if (port == (secure ? 443 : 80))
        return text.Format(L"%s://%s", secure ? L"https" : L"http", host.Buffer());
    return text.Format(L"%s://%s:%u", secure ? L"https" : L"http", host.Buffer(), (unsigned)port);
}

int Url::SameOrigin(const Url& other) const {
    return !host.IsEmpty() && !other.host.IsEmpty() && secure == other.secure && port == other.port &&
           _wcsicmp(host, other.host) == 0;
}
