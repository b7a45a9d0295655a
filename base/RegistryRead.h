#pragma once
// Reading single registry values without the framework's key object, for the layers below it (the
// temporary folder lookup, the Windows edition probes).

#include <windows.h>

class WString;

// The text value of an open key, terminated even when the stored data is not; grows target as needed.
int ReadRegistryText(HKEY key, const wchar_t* name, WString& target);
// The same, opening root\path for reading first.
int ReadRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, WString& target);
// A DWORD value of root\path, or defaultValue when it cannot be read.
DWORD ReadRegistryDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD defaultValue);
int RegistryKeyExists(HKEY root, const wchar_t* path);
