#pragma once
// Shortcuts made through the shell's link object, as installers make them, the folder of the test
// programs, where the helper programs are built, and a wait for the file such a program writes when it runs.
// Installers store the target's own icon location in the shortcut, and Wine takes a shortcut's icon only
// from that location (Windows would also look at the target), so the test shortcuts store it too.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

inline bool MakeShortcut(const std::wstring& link, const std::wstring& target, const std::wstring& arguments = L"") {
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&shellLink)))
        return false;
    shellLink->SetPath(target.c_str());
    shellLink->SetArguments(arguments.c_str());
    shellLink->SetIconLocation(target.c_str(), 0);
    IPersistFile* file = nullptr;
    bool saved = false;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, (void**)&file))) {
        saved = SUCCEEDED(file->Save(link.c_str(), TRUE));
        file->Release();
    }
    shellLink->Release();
    return saved;
}

inline std::wstring TestProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

inline bool WaitForFile(const std::wstring& path, DWORD milliseconds) {
    for (DWORD start = GetTickCount(); GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; Sleep(50)) {
        if (GetTickCount() - start > milliseconds)
            return false;
    }
    return true;
}
