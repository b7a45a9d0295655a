#include "app/ShellFile.h"

#include "app/LongPath.h"
#include "app/NativeShortcut.h"
#include "app/ShellRun.h"
#include "base/CommonControls.h"

int ShellFile::Name(const wchar_t* file) {
    // The shell takes no "\\?\" paths: a deeper file goes by its short path.
    path.Assign(L"");
    return ShellPath(file, path);
}

int ShellFile::Run(const wchar_t* verb, int showCommand) const {
    return !path.IsEmpty() && ShellRun(path, nullptr, nullptr, showCommand, 0, verb);
}

DWORD_PTR ShellFile::Info(SHFILEINFOW& info, UINT flags) const {
    return path.IsEmpty() ? 0 : SHGetFileInfoW(path, 0, &info, sizeof(info), flags);
}

int ShellFile::Open(const wchar_t* path) {
    NativeShortcut shortcut;
    if (shortcut.Read(path) && shortcut.HasProgram())
        return shortcut.Open();
    ShellFile file;
    return file.Name(path) && file.Run(L"open", SW_SHOWDEFAULT);
}

int ShellFile::Look(const wchar_t* path, WString& name, HICON* icon, int* systemIndex) {
    *icon = nullptr;
    *systemIndex = -1;
    ShellFile file;
    SHFILEINFOW info = {};
    HIMAGELIST systemList = nullptr;
    if (file.Name(path))
        systemList = (HIMAGELIST)file.Info(info, SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON);
    if (info.szDisplayName[0])
        name.Assign(info.szDisplayName);
    // The shell in this process would take the icon of a shortcut into the 64-bit system from the 32-bit
    // one, or find none: a wrong or generic icon, kept in the cache for good.
    NativeShortcut shortcut;
    if (shortcut.Read(path))
        *icon = shortcut.SmallIcon();
    if (!*icon && systemList) {
        *icon = CommonControls::Get().ImageListGetIcon(systemList, info.iIcon, ILD_NORMAL);
        *systemIndex = *icon ? info.iIcon : -1;
    }
    return *icon != nullptr;
}
