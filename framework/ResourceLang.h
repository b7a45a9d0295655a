#pragma once
// Finds a resource in the requested language, falling back through the primary language, English
// and German, and returns its locked data.

#include <windows.h>

const void* LoadResourceLang(HMODULE module, const wchar_t* type, const wchar_t* name, WORD language, DWORD* size);
