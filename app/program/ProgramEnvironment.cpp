#include "app/program/ProgramEnvironment.h"

#include "base/FileSystem.h"
#include "framework/VersionInfo.h"

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
