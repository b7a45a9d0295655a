#include "base/RegistryRead.h"

#include "base/WString.h"

namespace {

// One character is held back so that the text can always be terminated: registry strings need not be.
LONG QueryText(HKEY key, const wchar_t* name, WString& target, DWORD* neededSize) {
    DWORD size = (target.Capacity() - 1) * sizeof(wchar_t);
    LONG status = RegQueryValueExW(key, name, nullptr, nullptr, (BYTE*)target.Buffer(), &size);
    if (status == ERROR_SUCCESS)
        target.Buffer()[size / sizeof(wchar_t)] = 0;
    *neededSize = size;
    return status;
}

} // namespace

int ReadRegistryText(HKEY key, const wchar_t* name, WString& target) {
    if (!key || (!target.Buffer() && !target.Reset(WString::DefaultCapacity)) || target.Capacity() < 1)
        return 0;
    DWORD needed = 0;
    LONG status = QueryText(key, name, target, &needed);
    if (status == ERROR_MORE_DATA) {
        // Too small: grow to what the registry reported and try once more.
        if (needed == 0 || !target.Reset(needed / sizeof(wchar_t) + 2))
            return 0;
        status = QueryText(key, name, target, &needed);
    }
    if (status != ERROR_SUCCESS)
        return 0;
    target.Recount();
    return 1;
}

int ReadRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, WString& target, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return 0;
    int result = ReadRegistryText(key, name, target);
    RegCloseKey(key);
    return result;
}

int ReadRegistryBinary(HKEY root, const wchar_t* path, const wchar_t* name, void* buffer, DWORD size, REGSAM view) {
    HKEY key = nullptr;
    if (!buffer || RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return 0;
    // A longer value fails with ERROR_MORE_DATA; a shorter one is told by the size read.
    DWORD read = size;
    LONG status = RegQueryValueExW(key, name, nullptr, nullptr, (BYTE*)buffer, &read);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && read == size;
}

DWORD ReadRegistryDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD defaultValue) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return defaultValue;
    DWORD value = 0, size = sizeof(value), type = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, (BYTE*)&value, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size == sizeof(value) ? value : defaultValue;
}

int RegistryKeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

DWORD RegistryValueCount(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
        values = 0;
    RegCloseKey(key);
    return values;
}
