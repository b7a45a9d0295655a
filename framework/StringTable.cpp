#include "framework/StringTable.h"

#include "base/Library.h"
#include "framework/ResourceLang.h"

#include <stdio.h>

StringTable::StringTable(HMODULE moduleHandle, WORD languageSelector)
    : module(moduleHandle ? moduleHandle : GetModuleHandleW(nullptr)), language(languageSelector) {
    text[0] = 0;
}

WORD StringTable::ResolveLanguage() const {
    switch (language) {
        case 0x400:
            return GetUserDefaultLangID();
        case 0x800:
            return GetSystemDefaultLangID();
        case 0: {
            typedef LANGID(WINAPI * GetSystemDefaultUILanguageFn)();
            Library kernel(L"kernel32.dll");
            GetSystemDefaultUILanguageFn uiLanguage =
                kernel.Get<GetSystemDefaultUILanguageFn>("GetSystemDefaultUILanguage");
            return uiLanguage ? uiLanguage() : 9;
        }
        default:
            return language;
    }
}

const wchar_t* StringTable::Load(UINT id, wchar_t* buffer) {
    wchar_t* target = buffer ? buffer : text;
    DWORD size = 0;
    // Strings are stored in blocks of 16; block n + 1 holds ids 16n to 16n + 15.
    const WORD* block =
        (const WORD*)LoadResourceLang(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), ResolveLanguage(), &size);
    const WORD* end = block ? (const WORD*)((const BYTE*)block + size) : nullptr;
    const WORD* entry = block;
    for (UINT i = 0; entry && i < id % 16; i++) {
        // Each entry is a length followed by that many characters; a corrupt length ends the walk.
        if (entry >= end || *entry > (UINT)(end - entry - 1)) {
            entry = nullptr;
            break;
        }
        entry += 1 + *entry;
    }
    if (!entry || entry >= end || *entry == 0 || *entry > (UINT)(end - entry - 1)) {
        wcscpy(target, L"?");
        return target;
    }
    int length = *entry > BufferChars - 1 ? (int)BufferChars - 1 : (int)*entry;
    _snwprintf(target, BufferChars, L"%.*s", length, (const wchar_t*)(entry + 1));
    target[length] = 0;
    return target;
}
