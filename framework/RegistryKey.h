#pragma once
// One open registry key, closed by the destructor. Every operation returns 1 on success, 0 on failure.

#include <windows.h>

class WString;

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    int Open(HKEY root, const wchar_t* path, REGSAM extraAccess);
    int Create(HKEY root, const wchar_t* path, REGSAM extraAccess);
    int Close();
    HKEY Handle() const { return key; }

    int ReadDword(const wchar_t* name, DWORD* target);
    int ReadRaw(const wchar_t* name, void* buffer, DWORD* size);
    int ReadText(const wchar_t* name, wchar_t* buffer, DWORD sizeInBytes, DWORD* neededSize);
    int ReadString(const wchar_t* name, WString& target);
    int WriteDword(const wchar_t* name, DWORD value);
    int WriteString(const wchar_t* name, const wchar_t* text);

    static DWORD ReadDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD defaultValue,
                                REGSAM extraAccess);
    static int WriteDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value);
    static int ReadStringValue(HKEY root, const wchar_t* path, const wchar_t* name, WString& target,
                               const wchar_t* defaultText, REGSAM extraAccess);
    static int WriteStringValue(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text);

    // Keeps the 64-bit and 32-bit view bits only under WOW64; elsewhere they are refused by old systems.
    static REGSAM FilterAccess(REGSAM extraAccess);

private:
    HKEY key = nullptr;
};
