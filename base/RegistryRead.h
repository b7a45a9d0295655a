#pragma once
// Reading single registry values without the framework's key object, for the layers below it (the
// temporary folder lookup, the Windows edition probes).

#include <windows.h>

class WString;

// The text value of an open key, terminated even when the stored data is not; grows target as needed.
int ReadRegistryText(HKEY key, const wchar_t* name, WString& target);
// The same, opening root\path for reading first; view adds KEY_WOW64_64KEY or KEY_WOW64_32KEY.
int ReadRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, WString& target, REGSAM view = 0);
// A value of root\path that holds exactly size bytes, copied to buffer; 0 for any other size.
int ReadRegistryBinary(HKEY root, const wchar_t* path, const wchar_t* name, void* buffer, DWORD size, REGSAM view = 0);
// A DWORD value of root\path, or defaultValue when it cannot be read.
DWORD ReadRegistryDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD defaultValue);
int RegistryKeyExists(HKEY root, const wchar_t* path);
// The number of values root\path holds, 0 when it cannot be opened.
DWORD RegistryValueCount(HKEY root, const wchar_t* path);
