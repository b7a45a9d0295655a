#include "app/search/NameFold.h"

#include <windows.h>

std::wstring NameFold::Shown(const wchar_t* text) {
    std::wstring shown;
    for (const wchar_t* p = text ? text : L""; *p && *p != L'\t'; p++) {
        // "&&" shows one "&"; a lone "&" only underlines the character after it.
        if (*p == L'&' && p[1])
            p++;
        shown.push_back(*p);
    }
    return shown;
}

wchar_t NameFold::FoldCharacter(wchar_t character) {
    // Every character of the Basic Multilingual Plane folded once, on first use: a search folds thousands
    // of names, and asking the system for each of their characters would cost more than the search. Only
    // the menus' thread searches.
    static wchar_t table[0x10000];
    static unsigned char known[0x10000];
    if (known[character])
        return table[character];
    wchar_t folded = character;
    // Surrogate halves stay as they are: a character outside the plane is matched unit by unit.
    if (!IS_HIGH_SURROGATE(character) && !IS_LOW_SURROGATE(character)) {
        wchar_t lower = character;
        LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, &character, 1, &lower, 1);
        // The composite form puts the base letter first ("é" is "e" and an acute accent).
        wchar_t decomposed[8] = {};
        int length = FoldStringW(MAP_COMPOSITE, &lower, 1, decomposed, 8);
        folded = length > 0 ? decomposed[0] : lower;
    }
    table[character] = folded;
    known[character] = 1;
    return folded;
}

std::wstring NameFold::Fold(const std::wstring& text) {
    std::wstring folded(text);
    for (wchar_t& character : folded)
        character = FoldCharacter(character);
    return folded;
}
