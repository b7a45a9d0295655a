#include "framework/ResourceLang.h"

const void* LoadResourceLang(HMODULE module, const wchar_t* type, const wchar_t* name, WORD language, DWORD* size) {
    const WORD primary = language & 0x3FF;
    const WORD candidates[] = {
        language,
        (WORD)(primary | 0x400), // the primary language with SUBLANG_DEFAULT
        primary,
        1033, // English (United States)
        2057, // English (United Kingdom)
        9,    // English, neutral
        1031, // German
    };
    for (WORD candidate : candidates) {
        HRSRC found = FindResourceExW(module, type, name, candidate);
        if (!found)
            continue;
        HGLOBAL loaded = LoadResource(module, found);
        DWORD resourceSize = SizeofResource(module, found);
        if (!loaded || resourceSize == 0)
            continue;
        const void* data = LockResource(loaded);
        if (!data)
            continue;
        if (size)
            *size = resourceSize;
        return data;
    }
    return nullptr;
}
