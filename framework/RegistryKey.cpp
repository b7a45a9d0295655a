#include "framework/RegistryKey.h"

#include "base/RegistryRead.h"
#include "base/WString.h"
#include "sysinfo/OsVersion.h"

REGSAM RegistryKey::FilterAccess(REGSAM extraAccess) {
    const REGSAM views = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
    if ((extraAccess & views) && !IsWow64())
        extraAccess &= ~views;
    return extraAccess;
}

int RegistryKey::Open(HKEY root, const wchar_t* path, REGSAM extraAccess) {
    Close();
    return RegOpenKeyExW(root, path, 0, KEY_READ | FilterAccess(extraAccess), &key) == ERROR_SUCCESS;
}

int RegistryKey::Create(HKEY root, const wchar_t* path, REGSAM extraAccess) {
    Close();
    if (extraAccess == 0)
        return RegCreateKeyW(root, path, &key) == ERROR_SUCCESS;
    return RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | FilterAccess(extraAccess), nullptr, &key,
                           nullptr) == ERROR_SUCCESS;
}

int RegistryKey::Close() {
    if (!key)
        return 1;
    if (RegCloseKey(key) != ERROR_SUCCESS)
        return 0;
    key = nullptr;
    return 1;
}

int RegistryKey::ReadDword(const wchar_t* name, DWORD* target) {
    DWORD value = 0, size = sizeof(value);
    if (!key || RegQueryValueExW(key, name, nullptr, nullptr, (BYTE*)&value, &size) != ERROR_SUCCESS)
        return 0;
    if (target)
        *target = value;
    return 1;
}

int RegistryKey::ReadRaw(const wchar_t* name, void* buffer, DWORD* size) {
    return key && RegQueryValueExW(key, name, nullptr, nullptr, (BYTE*)buffer, size) == ERROR_SUCCESS;
}

int RegistryKey::ReadText(const wchar_t* name, wchar_t* buffer, DWORD sizeInBytes, DWORD* neededSize) {
    if (!key || !buffer || sizeInBytes < sizeof(wchar_t))
        return 0;
    // One character is held back so that the text can always be terminated: registry strings need not be.
    DWORD size = sizeInBytes - sizeof(wchar_t);
    LONG status = RegQueryValueExW(key, name, nullptr, nullptr, (BYTE*)buffer, &size);
    if (status != ERROR_SUCCESS) {
        if (neededSize)
            *neededSize = size;
        return 0;
    }
    buffer[size / sizeof(wchar_t)] = 0;
    return 1;
}

int RegistryKey::ReadString(const wchar_t* name, WString& target) {
    return ReadRegistryText(key, name, target);
}

int RegistryKey::WriteDword(const wchar_t* name, DWORD value) {
    return key && RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof(value)) == ERROR_SUCCESS;
}

int RegistryKey::WriteString(const wchar_t* name, const wchar_t* text) {
    if (!key || !text)
        return 0;
    DWORD bytes = (DWORD)((wcslen(text) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)text, bytes) == ERROR_SUCCESS;
}

DWORD RegistryKey::ReadDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD defaultValue,
                                  REGSAM extraAccess) {
    RegistryKey key;
    DWORD value = defaultValue;
    if (key.Open(root, path, extraAccess))
        key.ReadDword(name, &value);
    return value;
}

int RegistryKey::WriteDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value) {
    RegistryKey key;
    return key.Create(root, path, 0) && key.WriteDword(name, value);
}

int RegistryKey::ReadStringValue(HKEY root, const wchar_t* path, const wchar_t* name, WString& target,
                                 const wchar_t* defaultText, REGSAM extraAccess) {
    RegistryKey key;
    if (key.Open(root, path, extraAccess) && key.ReadString(name, target))
        return 1;
    target.Assign(defaultText ? defaultText : L"");
    return 0;
}

int RegistryKey::WriteStringValue(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text) {
    RegistryKey key;
    return key.Create(root, path, 0) && key.WriteString(name, text);
}
