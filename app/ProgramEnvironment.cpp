#include "app/ProgramEnvironment.h"

#include "base/FileSystem.h"
#include "framework/VersionInfo.h"

void UseNativeProgramFolders() {
    // A 32-bit process on 64-bit Windows sees the 32-bit program folders; programs started from the
    // menu should see the real ones, as they would when started from Explorer.
    static const wchar_t* const pairs[][2] = {{L"ProgramW6432", L"ProgramFiles"},
                                              {L"CommonProgramW6432", L"CommonProgramFiles"}};
    for (const auto& pair : pairs) {
        WString value(MAX_PATH);
        DWORD length = GetEnvironmentVariableW(pair[0], value.Buffer(), (DWORD)value.Capacity());
        if (length == 0 || length >= value.Capacity())
            continue;
        value.Recount();
        SetEnvironmentVariableW(pair[1], value);
    }
}

int CacheFilePath(int portableMode, WString& path) {
    if (portableMode) {
        if (!VersionInfo::ModuleDirectory(nullptr, path))
            return 0;
    } else {
        wchar_t folder[MAX_PATH + 1] = L"";
        GetFolderPath(FOLDER_TEMP, folder);
        path.Assign(folder);
    }
    if (path.IsEmpty())
        return 0;
    path.Append(L"Veltrix.sql");
    return 1;
}
