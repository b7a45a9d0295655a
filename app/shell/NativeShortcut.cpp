#include "app/shell/NativeShortcut.h"

#include "app/shell/LongPath.h"
#include "app/shell/ShellRun.h"
#include "app/shell/SizedIcon.h"
#include "base/ComPtr.h"
#include "sysinfo/NativePath.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <wchar.h>

namespace {

int HasExtension(const wchar_t* path, const wchar_t* extension) {
    size_t length = wcslen(path), extensionLength = wcslen(extension);
    return length > extensionLength && _wcsicmp(path + length - extensionLength, extension) == 0;
}

// A location the shortcut names (as stored, environment variables and all) mapped as the 64-bit system
// reads it: 1 when that is an existing file other than the one this process would reach.
int MapLocation(const wchar_t* stored, WString& mapped) {
    mapped.Assign(L"");
    WString expanded, native;
    wchar_t seen[MAX_PATH] = L"";
    DWORD length = ExpandEnvironmentStringsW(stored, seen, MAX_PATH);
    if (!*stored || length == 0 || length > MAX_PATH || !ExpandNative(stored, expanded) ||
        !NativePath(expanded, native) || native.CompareNoCase(seen) == 0)
        return 0;
    DWORD attributes = GetFileAttributesW(native);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return mapped.Assign(native);
}

} // namespace

int NativeShortcut::Read(const wchar_t* path) {
    program.Assign(L"");
    iconFile.Assign(L"");
    if (!MapsNativePaths() || !path || !HasExtension(path, L".lnk"))
        return 0;
    WString usable;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (!ExtendedPath(path, usable) ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.OutVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid())) || FAILED(file->Load(usable, STGM_READ)))
        return 0;
    DWORD flags = 0;
    ComPtr<IShellLinkDataList> data;
    if (SUCCEEDED(link->QueryInterface(IID_IShellLinkDataList, data.OutVoid())))
        data->GetFlags(&flags);
    // Windows Installer's advertised shortcuts are resolved by the installer, which knows the product's own
    // 64-bit files.
    if (flags & SLDF_HAS_DARWINID)
        return 0;

    // The target as stored: "%ProgramFiles%\..." where the shortcut keeps its environment variables.
    wchar_t target[MAX_PATH] = L"";
    if (link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK)
        target[0] = 0;
    // Only a program is started by its mapped path: a document goes to its program as an argument, and a
    // 64-bit program has no Sysnative.
    if (HasExtension(target, L".exe") && MapLocation(target, program)) {
        WString text(32768);
        if (SUCCEEDED(link->GetArguments(text.Buffer(), (int)text.Capacity()))) {
            text.Recount();
            arguments.Assign(text);
        }
        // The working folder is named as the 64-bit program will read it: its program folders, and System32
        // without the alias.
        wchar_t folder[MAX_PATH] = L"";
        if (SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)) && folder[0])
            ExpandNative(folder, directory);
        int show = SW_SHOWNORMAL;
        if (SUCCEEDED(link->GetShowCmd(&show)))
            showCommand = show;
        runAs = (flags & SLDF_RUNAS_USER) ? SHELL_ELEVATED : SHELL_AS_USER;
    }

    // The icon location the shortcut names, else its program's own first icon.
    wchar_t icon[MAX_PATH] = L"";
    int index = 0;
    if (FAILED(link->GetIconLocation(icon, MAX_PATH, &index)))
        icon[0] = 0;
    EXP_SZ_LINK* stored = nullptr;
    if ((flags & SLDF_HAS_EXP_ICON_SZ) && data &&
        SUCCEEDED(data->CopyDataBlock(EXP_SZ_ICON_SIG, reinterpret_cast<void**>(&stored))) && stored) {
        lstrcpynW(icon, stored->swzTarget, MAX_PATH);
        LocalFree(stored);
    }
    if (!icon[0] && HasExtension(target, L".exe")) {
        lstrcpynW(icon, target, MAX_PATH);
        index = 0;
    }
    if (MapLocation(icon, iconFile))
        iconIndex = index;
    return HasProgram() || !iconFile.IsEmpty();
}

int NativeShortcut::Open() const {
    if (!HasProgram())
        return 0;
    return ShellRun(program, arguments.IsEmpty() ? nullptr : arguments.Buffer(),
                    directory.IsEmpty() ? nullptr : directory.Buffer(), showCommand, runAs, L"open");
}

HICON NativeShortcut::SmallIcon() const {
    if (iconFile.IsEmpty())
        return nullptr;
    // Read from the file itself, the one file-system call that takes the alias; a negative index names the
    // icon's resource, as in every icon location.
    HICON small = nullptr;
    ExtractIconExW(iconFile, iconIndex, nullptr, &small, 1);
    return small;
}

HICON NativeShortcut::IconAt(int size) const {
    return iconFile.IsEmpty() ? nullptr : SizedIcon::FromLocation(iconFile, iconIndex, size);
}
