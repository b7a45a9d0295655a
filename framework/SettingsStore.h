#pragma once
// Named integer and string settings in one registry key or, in portable mode, in an INI file beside
// the program; callers do not know which. Reads never fail: anything missing gives the default.

#include "base/WString.h"

#include <windows.h>

class SettingsStore {
public:
    enum Backend : unsigned { REGISTRY = 1, INI_FILE = 2, XML_FILE = 4 };

    SettingsStore() = default;
    ~SettingsStore() { Close(); }
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    int Open(unsigned backendFlags, HKEY rootKey, const wchar_t* keyPath, const wchar_t* filePath);
    DWORD ReadInt(const wchar_t* name, DWORD defaultValue, const wchar_t* subkey = nullptr);
    int WriteInt(const wchar_t* name, DWORD value, const wchar_t* subkey = nullptr);
    int ReadString(const wchar_t* name, WString& target, const wchar_t* defaultText, const wchar_t* subkey = nullptr);
    int WriteString(const wchar_t* name, const wchar_t* text, const wchar_t* subkey = nullptr);
    void Close();

    const wchar_t* IniPath() const { return iniPath; }

private:
    void KeyFor(const wchar_t* subkey, WString& path) const;

    unsigned backend = 0;
    HKEY root = nullptr;
    WString keyPath;
    WString filePath;
    WString iniPath;
};
