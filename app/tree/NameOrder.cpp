#include "app/tree/NameOrder.h"

#include <windows.h>

#include <wchar.h>

namespace {

// Digits as numbers from Windows 7 on; LINGUISTIC_IGNORECASE ignores the case of letters and nothing else
// (NORM_IGNORECASE would also merge other variants the locale tells apart).
const DWORD OrderFlags = LINGUISTIC_IGNORECASE | SORT_DIGITSASNUMBERS;

int LocaleCompare(const wchar_t* a, const wchar_t* b, DWORD flags) {
    return CompareStringEx(LOCALE_NAME_USER_DEFAULT, flags, a, -1, b, -1, nullptr, nullptr, 0);
}

} // namespace

int NameOrder::CompareUnits(const wchar_t* a, const wchar_t* b) {
    const wchar_t* startA = a;
    const wchar_t* startB = b;
    for (;; a++, b++) {
        wchar_t ca = *a, cb = *b;
        if (ca >= L'A' && ca <= L'Z')
            ca = ca - L'A' + L'a';
        if (cb >= L'A' && cb <= L'Z')
            cb = cb - L'A' + L'a';
        if (ca != cb)
            return (int)ca - (int)cb;
        if (!ca)
            return wcscmp(startA, startB);
    }
}

int NameOrder::Compare(const wchar_t* a, const wchar_t* b) {
    int result = LocaleCompare(a, b, OrderFlags);
    // A system that refuses the flag compares without digits as numbers.
    if (!result)
        result = LocaleCompare(a, b, LINGUISTIC_IGNORECASE);
    if (result == CSTR_LESS_THAN)
        return -1;
    if (result == CSTR_GREATER_THAN)
        return 1;
    return CompareUnits(a, b);
}

int NameOrder::CompareKeyed(const std::string& keyA, const wchar_t* a, const std::string& keyB, const wchar_t* b) {
    if (keyA.empty() || keyB.empty())
        return Compare(a, b);
    int byKey = keyA.compare(keyB);
    return byKey ? byKey : CompareUnits(a, b);
}

std::string NameOrder::Key(const wchar_t* name) {
    DWORD flags = LCMAP_SORTKEY | OrderFlags;
    int size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, name, -1, nullptr, 0, nullptr, nullptr, 0);
    if (size <= 0) {
        flags = LCMAP_SORTKEY | LINGUISTIC_IGNORECASE;
        size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, name, -1, nullptr, 0, nullptr, nullptr, 0);
    }
    if (size <= 0)
        return std::string();
    // A sort key is bytes, though the call takes a wide-character buffer and counts it in bytes.
    std::string key((size_t)size, '\0');
    if (LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, name, -1, reinterpret_cast<wchar_t*>(&key[0]), size, nullptr,
                      nullptr, 0) != size)
        return std::string();
    return key;
}
