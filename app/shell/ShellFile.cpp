#include "app/shell/ShellFile.h"

#include "app/shell/LongPath.h"
#include "app/shell/NativeShortcut.h"
#include "app/shell/ShellRun.h"
#include "app/shell/SizedIcon.h"
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

int ShellFile::Look(const wchar_t* path, int size, WString& name, HICON* icon, int* systemIndex) {
    *icon = nullptr;
    *systemIndex = -1;
    ShellFile file;
    SHFILEINFOW info = {};
    HIMAGELIST systemList = nullptr;
    if (file.Name(path))
        systemList = (HIMAGELIST)file.Info(info, SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON);
    if (info.szDisplayName[0])
        name.Assign(info.szDisplayName);
    const int systemSize = GetSystemMetrics(SM_CXSMICON);
    // The shell in this process would take the icon of a shortcut into the 64-bit system from the 32-bit
    // one, or find none: a wrong or generic icon, kept in the cache for good.
    NativeShortcut shortcut;
    if (shortcut.Read(path))
        *icon = size == systemSize ? shortcut.SmallIcon() : shortcut.IconAt(size);
    if (!*icon && systemList && size == systemSize) {
        *icon = CommonControls::Get().ImageListGetIcon(systemList, info.iIcon, ILD_NORMAL);
        *systemIndex = *icon ? info.iIcon : -1;
    } else if (!*icon && systemList) {
        *icon = file.SizedLook(systemList, info.iIcon, size, systemIndex);
    }
    return *icon != nullptr;
}

HICON ShellFile::SizedLook(HIMAGELIST smallList, int systemIndex, int size, int* sharedIndex) const {
    // The system image list keeps one image per icon location the shell reports, so the icon read from
    // that location, or scaled from that image, is the same for every entry of the index.
    SHFILEINFOW location = {};
    *sharedIndex = systemIndex;
    HICON icon = nullptr;
    if (Info(location, SHGFI_ICONLOCATION) && location.szDisplayName[0])
        icon = SizedIcon::FromLocation(location.szDisplayName, location.iIcon, size);
    if (icon)
        return icon;
    // An icon the shell's handler draws itself (no file holds it) is its item's own.
    *sharedIndex = -1;
    icon = SizedIcon::FromImageFactory(path, list, size);
    if (icon)
        return icon;
    *sharedIndex = systemIndex;
    icon = SizedIcon::FromSystemLists(smallList, systemIndex, size);
    if (!icon)
        *sharedIndex = -1;
    return icon;
}
