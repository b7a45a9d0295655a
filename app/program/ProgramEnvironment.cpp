#include "app/program/ProgramEnvironment.h"

#include "base/FileSystem.h"
#include "framework/VersionInfo.h"

#include <shlobj.h>

namespace {

// The program's folder in portable mode, else that folder of the system's, with a trailing backslash.
int FolderFor(int portableMode, int folderId, WString& path) {
    if (portableMode)
        return VersionInfo::ModuleDirectory(nullptr, path) && !path.IsEmpty();
    wchar_t folder[MAX_PATH + 1] = L"";
    if (!GetFolderPath(folderId, folder) || !*folder)
        return 0;
    path.Assign(folder);
    if (path.Buffer()[path.Length() - 1] != L'\\')
        path.Append(L"\\");
    return 1;
}

} // namespace

int UsageFilePath(int portableMode, WString& path) {
    if (!FolderFor(portableMode, CSIDL_LOCAL_APPDATA, path))
        return 0;
    if (!portableMode) {
        path.Append(L"Koravent");
        CreateDirectoryW(path, nullptr);
        path.Append(L"\\Veltrix\\");
        CreateDirectoryW(path, nullptr);
    }
    path.Append(L"Veltrix-usage.sql");
    return 1;
}

int CacheFilePath(int portableMode, WString& path) {
    if (!FolderFor(portableMode, FOLDER_TEMP, path))
        return 0;
    path.Append(L"Veltrix.sql");
    return 1;
}
