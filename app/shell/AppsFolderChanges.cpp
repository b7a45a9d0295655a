#include "app/shell/AppsFolderChanges.h"

#include <objbase.h>
#include <shlobj.h>

namespace {

// FOLDERID_AppsFolder, new in Windows 8.
const GUID AppsFolder = {0x1E87508D, 0x89C2, 0x42F0, {0x8A, 0x7E, 0x64, 0x5A, 0x0F, 0x50, 0xCA, 0x58}};

} // namespace

int AppsFolderChanges::Start(HWND window, UINT message) {
    Stop();
    PIDLIST_ABSOLUTE folder = nullptr;
    if (FAILED(SHGetKnownFolderIDList(AppsFolder, KF_FLAG_DEFAULT, nullptr, &folder)) || !folder)
        return 0;
    SHChangeNotifyEntry entry = {folder, TRUE};
    // Shell-level events only (the folder is virtual); the message carries the items, which are not read.
    registration = SHChangeNotifyRegister(window, SHCNRF_ShellLevel, SHCNE_ALLEVENTS, message, 1, &entry);
    CoTaskMemFree(folder);
    return registration != 0;
}

void AppsFolderChanges::Stop() {
    if (registration)
        SHChangeNotifyDeregister(registration);
    registration = 0;
}
