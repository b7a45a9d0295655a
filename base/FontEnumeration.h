#pragma once
// Font-family enumeration; without a callback it answers whether a family is installed.

#include <windows.h>

typedef int (*FontCallback)(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, void* userData);

int EnumerateFonts(FontCallback callback, void* userData, const wchar_t* faceName, BYTE charSet, HDC dc);
