#include "framework/SettingsStore.h"

#include "framework/RegistryKey.h"

#include <stdio.h>

namespace {

const wchar_t* SectionFor(const wchar_t* subkey) {
    return subkey ? subkey : L"Settings";
}

} // namespace

int SettingsStore::Open(unsigned backendFlags, HKEY rootKey, const wchar_t* key, const wchar_t* file) {
    Close();
    root = rootKey;
    backend = backendFlags;
    keyPath.Assign(key);

    wchar_t module[MAX_PATH + 1] = L"";
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    module[length < MAX_PATH ? length : MAX_PATH] = 0;
    if (file) {
        filePath.Assign(file);
    } else {
        // The program's own file name with its extension replaced: Veltrix.exe keeps Veltrix.ini.
        wchar_t name[MAX_PATH + 1];
        lstrcpynW(name, FileNamePart(module), MAX_PATH);
        StripExtension(name, 3);
        filePath.Assign(name);
        filePath.Append(backend & XML_FILE ? L".xml" : L".ini");
    }
    if (backend & INI_FILE) {
        const wchar_t* nameStart = FileNamePart(module);
        iniPath.Assign(module, (unsigned)(nameStart - module));
        iniPath.Append(filePath);
    }
    return 1;
}

void SettingsStore::Close() {
    // The registry backend opens a key per operation and the INI functions open the file themselves:
    // nothing is held between calls.
    iniPath.Assign(L"");
}

void SettingsStore::KeyFor(const wchar_t* subkey, WString& path) const {
    if (subkey)
        path.Format(L"%s\\%s", keyPath.Buffer(), subkey);
    else
        path.Format(L"%s", keyPath.Buffer());
}

DWORD SettingsStore::ReadInt(const wchar_t* name, DWORD defaultValue, const wchar_t* subkey) {
    if (backend & REGISTRY) {
        WString path;
        KeyFor(subkey, path);
        return RegistryKey::ReadDwordValue(root, path, name, defaultValue, 0);
    }
    if (backend & INI_FILE) {
        wchar_t text[260];
        GetPrivateProfileStringW(SectionFor(subkey), name, L"", text, 259, iniPath);
        unsigned long long value = 0;
        if (swscanf(text, L"%I64u", &value) != 1)
            return defaultValue;
        return (DWORD)value;
    }
    return defaultValue;
}

int SettingsStore::WriteInt(const wchar_t* name, DWORD value, const wchar_t* subkey) {
    if (backend & REGISTRY) {
        WString path;
        KeyFor(subkey, path);
        return RegistryKey::WriteDwordValue(root, path, name, value);
    }
    if (backend & INI_FILE) {
        WString text;
        text.Format(L"%I64u", (unsigned long long)value);
        return WritePrivateProfileStringW(SectionFor(subkey), name, text, iniPath) ? 1 : 0;
    }
    return 0;
}

int SettingsStore::ReadString(const wchar_t* name, WString& target, const wchar_t* defaultText, const wchar_t* subkey) {
    if (backend & REGISTRY) {
        WString path;
        KeyFor(subkey, path);
        return RegistryKey::ReadStringValue(root, path, name, target, defaultText, 0);
    }
    if (backend & INI_FILE) {
        if (!target.Buffer() && !target.Reset(WString::DefaultCapacity))
            return 0;
        // A result that fills the buffer may have been cut: read again with twice the room.
        for (int attempt = 0; attempt < 6; attempt++) {
            DWORD length = GetPrivateProfileStringW(SectionFor(subkey), name, defaultText ? defaultText : L"",
                                                    target.Buffer(), (DWORD)target.MaxLength(), iniPath);
            target.Recount();
            if ((int)length + 1 != target.MaxLength() || attempt == 5)
                break;
            if (!target.Reset((unsigned)target.MaxLength() * 2))
                return 0;
        }
        return 1;
    }
    target.Assign(defaultText ? defaultText : L"");
    return 0;
}

int SettingsStore::WriteString(const wchar_t* name, const wchar_t* text, const wchar_t* subkey) {
    if (backend & REGISTRY) {
        WString path;
        KeyFor(subkey, path);
        return RegistryKey::WriteStringValue(root, path, name, text);
    }
    if (backend & INI_FILE)
        return WritePrivateProfileStringW(SectionFor(subkey), name, text, iniPath) ? 1 : 0;
    return 0;
}
