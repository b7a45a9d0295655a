#include "app/shell/ShellFile.h"

#include "app/shell/LongPath.h"
#include "app/shell/NativeShortcut.h"
#include "app/shell/ShellRun.h"
#include "base/CommonControls.h"

#include <objbase.h>

ShellFile::~ShellFile() {
    Forget();
}

void ShellFile::Forget() {
    CoTaskMemFree(list);
    list = nullptr;
    path.Assign(L"");
}

int ShellFile::Name(const wchar_t* file) {
    Forget();
    // The shell takes no "\\?\" paths. A deeper file goes by its short path where the volume keeps short
    // names (Wine always does), else by its item ID list.
    if (ShellPath(file, path))
        return 1;
    return NameByIdList(file);
}

int ShellFile::NameByIdList(const wchar_t* file) {
    Forget();
    return ShellIdList(file, &list);
}

int ShellFile::Run(const wchar_t* verb, int showCommand) const {
    if (list)
        return ShellRunItem(list, nullptr, showCommand, verb);
    return !path.IsEmpty() && ShellRun(path, nullptr, nullptr, showCommand, SHELL_AS_USER, verb);
}

DWORD_PTR ShellFile::Info(SHFILEINFOW& info, UINT flags) const {
    if (list)
        return SHGetFileInfoW(reinterpret_cast<const wchar_t*>(list), 0, &info, sizeof(info), flags | SHGFI_PIDL);
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
