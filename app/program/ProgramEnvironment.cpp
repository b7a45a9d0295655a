#include "app/program/ProgramEnvironment.h"

#include "base/FileSystem.h"
#include "framework/VersionInfo.h"

#include <shlobj.h>

int UsageFilePath(int portableMode, WString& path) {
    if (portableMode) {
        if (!VersionInfo::ModuleDirectory(nullptr, path))
            return 0;
    } else {
        wchar_t folder[MAX_PATH + 1] = L"";
        if (!GetFolderPath(CSIDL_LOCAL_APPDATA, folder) || !*folder)
            return 0;
        path.Assign(folder);
        if (path.Buffer()[path.Length() - 1] != L'\\')
            path.Append(L"\\");
        path.Append(L"Koravent");
        CreateDirectoryW(path, nullptr);
        path.Append(L"\\Veltrix\\");
        CreateDirectoryW(path, nullptr);
    }
    if (path.IsEmpty())
        return 0;
    path.Append(L"Veltrix-usage.sql");
    return 1;
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
