// make_shortcut LINK TARGET [ARGUMENTS]
// Writes a shortcut (.lnk) through the shell's link object, as Explorer and installers do. Used to lay
// out demo, test and benchmark Start Menus. LINK may start with "common:" or "user:" for the all-users
// or the current user's Programs folder; missing folders are created. The target's icon location is stored
// in the shortcut as installers do: Wine takes a shortcut's icon only from there.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdio.h>
#include <string>
#include <wchar.h>

namespace {

std::wstring ResolveLink(const wchar_t* link) {
    struct Prefix {
        const wchar_t* text;
        int folder;
    } prefixes[] = {{L"common:", CSIDL_COMMON_PROGRAMS}, {L"user:", CSIDL_PROGRAMS}};
    for (const Prefix& prefix : prefixes) {
        size_t length = wcslen(prefix.text);
        if (wcsncmp(link, prefix.text, length) == 0) {
            wchar_t folder[MAX_PATH] = L"";
            SHGetFolderPathW(nullptr, prefix.folder | CSIDL_FLAG_CREATE, nullptr, 0, folder);
            return std::wstring(folder) + L"\\" + (link + length);
        }
    }
    return link;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: make_shortcut LINK TARGET [ARGUMENTS]\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    std::wstring link = ResolveLink(argv[1]);
    std::wstring folder = link.substr(0, link.find_last_of(L"\\/"));
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    int status = 1;
    IShellLinkW* shellLink = nullptr;
    if (SUCCEEDED(
            CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&shellLink))) {
        shellLink->SetPath(argv[2]);
        shellLink->SetIconLocation(argv[2], 0);
        if (argc > 3)
            shellLink->SetArguments(argv[3]);
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, (void**)&file))) {
            if (SUCCEEDED(file->Save(link.c_str(), TRUE)))
                status = 0;
            file->Release();
        }
        shellLink->Release();
    }
    CoUninitialize();
    if (status)
        fwprintf(stderr, L"make_shortcut: cannot write %ls\n", link.c_str());
    return status;
}
