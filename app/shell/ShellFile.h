#pragma once
// An entry's file handed to the shell, for its name and icon and for opening it, the same way for both: by
// its path where the shell takes it (short enough, or shortened to the 8.3 names its volume keeps), else
// by its item ID list (ShellIdList), which reaches a file past the path limit on a volume without short
// names. For a 32-bit Veltrix on 64-bit Windows, a shortcut into the 64-bit System32 or Program Files is
// taken through its mapped program and icon (NativeShortcut).

#include "base/WString.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shtypes.h>

class ShellFile {
public:
    ShellFile() = default;
    ~ShellFile();
    ShellFile(const ShellFile&) = delete;
    ShellFile& operator=(const ShellFile&) = delete;

    // Names the file at path to the shell as described above; 0 when neither way reaches it.
    int Name(const wchar_t* path);
    // Names it by its item ID list whatever its path: the way a volume without short names leaves.
    int NameByIdList(const wchar_t* path);
    int ByIdList() const { return list != nullptr; }
    // Carries out the verb on the file; 1 when the shell reports success.
    int Run(const wchar_t* verb, int showCommand) const;
    // SHGetFileInfoW on the file (SHGFI_PIDL is added for an item ID list): what that returns.
    DWORD_PTR Info(SHFILEINFOW& info, UINT flags) const;

    // Opens the entry at path as Explorer would. 1 when the shell reports success.
    static int Open(const wchar_t* path);
    // The entry's display name (into name, left alone when the shell gives none) and its icon as Explorer
    // shows it, at size x size pixels (the system's small icon size, or that of a menu on a monitor of other
    // dots per inch): *icon is the caller's to destroy, *systemIndex the index in the shell's system image
    // lists that every entry showing the same icon shares, -1 when it came from elsewhere. 1 when an icon was
    // found.
    static int Look(const wchar_t* path, int size, WString& name, HICON* icon, int* systemIndex);

private:
    void Forget();
    // The icon at a size other than the system's small one, the shell's answer to SHGFI_SYSICONINDEX given.
    HICON SizedLook(HIMAGELIST smallList, int systemIndex, int size, int* sharedIndex) const;

    WString path;
    PIDLIST_ABSOLUTE list = nullptr;
};
