#pragma once
// A value planted in the test prefix's registry (HKEY_LOCAL_MACHINE unless another root is given) for one
// test. The destructor puts back the
// former data, or removes the value, and deletes the keys that had to be created for it.

#include <windows.h>

#include <string>
#include <vector>

class PlantedValue {
public:
    PlantedValue(const std::wstring& path, const wchar_t* name, REGSAM view = 0, HKEY root = HKEY_LOCAL_MACHINE)
        : path(path), name(name), view(view), root(root) {
        // The first missing key of the path goes, with everything below it, when the test ends.
        for (size_t end = 0; created.empty() && end != std::wstring::npos;) {
            end = path.find(L'\\', end + 1);
            if (HKEY key = Open(path.substr(0, end), KEY_READ))
                RegCloseKey(key);
            else
                created = path.substr(0, end);
        }
        if (HKEY key = Open(path, KEY_READ)) {
            DWORD size = 0;
            if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
                saved.resize(size);
                existed = RegQueryValueExW(key, name, nullptr, &type, saved.data(), &size) == ERROR_SUCCESS;
            }
            RegCloseKey(key);
        }
    }
    ~PlantedValue() {
        if (existed)
            Set(type, saved.data(), (DWORD)saved.size());
        else
            Remove();
        size_t cut = created.rfind(L'\\');
        if (HKEY parent = created.empty() ? nullptr : Open(created.substr(0, cut), KEY_ALL_ACCESS)) {
            RegDeleteTreeW(parent, created.substr(cut + 1).c_str());
            RegCloseKey(parent);
        }
    }
    PlantedValue(const PlantedValue&) = delete;
    PlantedValue& operator=(const PlantedValue&) = delete;

    bool Set(DWORD valueType, const void* data, DWORD size) {
        // Windows allows no lasting key below HARDWARE, which lives only while the system runs.
        DWORD options = path.compare(0, 9, L"HARDWARE\\") == 0 ? REG_OPTION_VOLATILE : 0;
        HKEY key = nullptr;
        if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, KEY_WRITE | view, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return false;
        bool set = RegSetValueExW(key, name.c_str(), 0, valueType, (const BYTE*)data, size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return set;
    }
    bool Set(const wchar_t* text) { return Set(REG_SZ, text, (DWORD)(wcslen(text) + 1) * sizeof(wchar_t)); }
    bool Set(DWORD number) { return Set(REG_DWORD, &number, sizeof(number)); }
    // True when the value is absent afterwards.
    bool Remove() {
        HKEY key = Open(path, KEY_WRITE);
        LONG status = key ? RegDeleteValueW(key, name.c_str()) : ERROR_FILE_NOT_FOUND;
        if (key)
            RegCloseKey(key);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }

private:
    HKEY Open(const std::wstring& keyPath, REGSAM access) const {
        HKEY key = nullptr;
        return RegOpenKeyExW(root, keyPath.c_str(), 0, access | view, &key) == ERROR_SUCCESS ? key : nullptr;
    }

    std::wstring path, name, created;
    REGSAM view;
    HKEY root;
    bool existed = false;
    DWORD type = 0;
    std::vector<BYTE> saved;
};
