#pragma once
// Strings from the program's string tables in the language of the user's locale.

#include <windows.h>

class StringTable {
public:
    static const unsigned BufferChars = 600;

    explicit StringTable(HMODULE module = nullptr, WORD language = 0x400);

    // The text of the id in the given buffer (at least BufferChars long) or the internal one; "?" when
    // no language has it.
    const wchar_t* Load(UINT id, wchar_t* buffer = nullptr);
    void SetLanguage(WORD newLanguage) { language = newLanguage; }

private:
    WORD ResolveLanguage() const;

    HMODULE module;
    WORD language;
    wchar_t text[BufferChars];
};
