#include "base/FileSystem.h"

#include "base/KernelHandle.h"
#include "base/Library.h"
#include "base/WString.h"
#include "base/RegistryRead.h"

#include <shlobj.h>
#include <wchar.h>

namespace {

const DWORD PathChars = MAX_PATH;

// Copies a folder text into the caller's buffer with a trailing backslash, within MAX_PATH.
int CopyWithBackslash(const wchar_t* folder, wchar_t* buffer) {
    size_t length = wcslen(folder);
    if (length == 0 || length + 2 > PathChars)
        return 0;
    wcscpy(buffer, folder);
    AddBackslash(buffer);
    return 1;
}

int ProfileFolder(const char* entryName, wchar_t* buffer) {
    typedef BOOL(WINAPI * ProfileDirectoryFn)(LPWSTR, LPDWORD);
    Library userenv(L"userenv.dll");
    ProfileDirectoryFn query = userenv.Get<ProfileDirectoryFn>(entryName);
    if (!query)
        return 0;
    DWORD size = PathChars;
    return query(buffer, &size) ? 1 : 0;
}

int UserProfileFolder(wchar_t* buffer) {
    typedef BOOL(WINAPI * OpenProcessTokenFn)(HANDLE, DWORD, PHANDLE);
    typedef BOOL(WINAPI * GetUserProfileDirectoryFn)(HANDLE, LPWSTR, LPDWORD);
    Library advapi(L"advapi32.dll");
    Library userenv(L"userenv.dll");
    OpenProcessTokenFn openToken = advapi.Get<OpenProcessTokenFn>("OpenProcessToken");
    GetUserProfileDirectoryFn profile = userenv.Get<GetUserProfileDirectoryFn>("GetUserProfileDirectoryW");
    if (!openToken || !profile)
        return 0;
    HANDLE opened = nullptr;
    if (!openToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return 0;
    KernelHandle token(opened);
    DWORD size = PathChars;
    return profile(token.Get(), buffer, &size) ? 1 : 0;
}

int WindowsFolder(wchar_t* buffer, bool system) {
    buffer[0] = 0;
    UINT length = system ? GetSystemDirectoryW(buffer, PathChars) : GetWindowsDirectoryW(buffer, PathChars);
    if (length == 0 || length >= PathChars) {
        buffer[0] = 0;
        return 0;
    }
    if (length < 258 && buffer[length - 1] != L'\\')
        AddBackslash(buffer);
    return 1;
}

int SystemTempFolder(wchar_t* buffer) {
    static const wchar_t* environmentKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    WString value;
    if (!ReadRegistryText(HKEY_LOCAL_MACHINE, environmentKey, L"TMP", value))
        ReadRegistryText(HKEY_LOCAL_MACHINE, environmentKey, L"TEMP", value);
    if (!value.IsEmpty()) {
        wchar_t expanded[MAX_PATH];
        DWORD n = ExpandEnvironmentStringsW(value, expanded, PathChars);
        if (n > 0 && n <= PathChars && CopyWithBackslash(expanded, buffer))
            return 1;
    }
    if (!WindowsFolder(buffer, false))
        return 0;
    if (wcslen(buffer) + 6 > PathChars)
        return 0;
    wcscat(buffer, L"Temp\\");
    return 1;
}

// The query result of GetTempPathW/GetCurrentDirectoryW, always reported as success.
int QueriedFolder(wchar_t* buffer, bool temp) {
    DWORD n = temp ? GetTempPathW(PathChars, buffer) : GetCurrentDirectoryW(PathChars, buffer);
    if (n == 0 || n >= PathChars)
        buffer[0] = 0;
    // Leave room for the backslash; an empty result stays empty rather than becoming the root of the drive.
    size_t length = wcslen(buffer);
    if (length > 0 && length + 1 < PathChars)
        AddBackslash(buffer);
    return 1;
}

int ShellFolder(int csidl, wchar_t* buffer) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator)
        return 0;
    int result = 0;
    LPITEMIDLIST items = nullptr;
    buffer[0] = 0;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) && items && SHGetPathFromIDListW(items, buffer))
        result = 1;
    if (items)
        allocator->Free(items);
    allocator->Release();
    if (result)
        return 1;

    typedef HRESULT(WINAPI * SHGetFolderPathFn)(HWND, int, HANDLE, DWORD, LPWSTR);
    Library shfolder(L"shfolder.dll");
    SHGetFolderPathFn getFolderPath = shfolder.Get<SHGetFolderPathFn>("SHGetFolderPathW");
    if (!getFolderPath)
        return 0;
    return getFolderPath(nullptr, csidl, nullptr, 0, buffer) == S_OK;
}

} // namespace

int GetFolderPath(int folderId, wchar_t* buffer) {
    if (!buffer)
        return 0;
    switch (folderId) {
        case FOLDER_PROFILES:
            return ProfileFolder("GetProfilesDirectoryW", buffer);
        case FOLDER_DEFAULT_USER_PROFILE:
            return ProfileFolder("GetDefaultUserProfileDirectoryW", buffer);
        case FOLDER_USER_PROFILE:
            return UserProfileFolder(buffer);
        case FOLDER_SYSTEM_TEMP:
            return SystemTempFolder(buffer);
        case FOLDER_WINDOWS:
            return WindowsFolder(buffer, false);
        case FOLDER_SYSTEM:
            return WindowsFolder(buffer, true);
        case FOLDER_TEMP:
            return QueriedFolder(buffer, true);
        case FOLDER_CURRENT:
            return QueriedFolder(buffer, false);
        default:
            return ShellFolder(folderId, buffer);
    }
}

int FileExists(const wchar_t* path) {
    if (!path || !*path)
        return 0;
    // No access rights are asked for, so files locked by others still count as present. Without
    // FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened this way and reports 0.
    KernelHandle file(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

void AddBackslash(wchar_t* path) {
    if (!path)
        return;
    // An empty text (a failed folder query) stays empty: a lone backslash would name the drive's root.
    size_t length = wcslen(path);
    if (length > 0 && path[length - 1] != L'\\') {
        path[length] = L'\\';
        path[length + 1] = 0;
    }
}

int DeleteFileForce(const wchar_t* path) {
    if (!path)
        return 0;
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path) ? 1 : 0;
}

namespace {

typedef BOOL(WINAPI* SetThreadErrorModeFn)(DWORD, DWORD*);
typedef DWORD(WINAPI* GetThreadErrorModeFn)();

// No "insert a disk" box for an empty drive. The error mode of the process is shared by every thread,
// so setting and restoring it around each enumeration would race with other threads (and could leave
// it changed for good); Windows 7 has a mode per thread, which is set and restored here. Before it, the
// flag is added to the process's mode once and stays. Flags set by others are kept either way.
class NoDiskPrompt {
public:
    NoDiskPrompt() {
        // kernel32 is loaded in every process; Vista lacks both functions.
        static HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        static SetThreadErrorModeFn setThreadMode = reinterpret_cast<SetThreadErrorModeFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadErrorMode")));
        static GetThreadErrorModeFn getThreadMode = reinterpret_cast<GetThreadErrorModeFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetThreadErrorMode")));
        if (setThreadMode && getThreadMode) {
            restore = setThreadMode(getThreadMode() | SEM_FAILCRITICALERRORS, &previous) != 0;
            function = setThreadMode;
            return;
        }
        static LONG processModeSet = 0;
        if (!InterlockedExchange(&processModeSet, 1))
            SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS);
    }
    ~NoDiskPrompt() {
        if (restore)
            function(previous, nullptr);
    }
    NoDiskPrompt(const NoDiskPrompt&) = delete;
    NoDiskPrompt& operator=(const NoDiskPrompt&) = delete;

private:
    SetThreadErrorModeFn function = nullptr;
    DWORD previous = 0;
    bool restore = false;
};

} // namespace

int FindFiles(const wchar_t* pattern, FindFilesCallback callback, void* context) {
    if (!pattern)
        return 0;
    // An empty removable drive must not raise the system's "insert a disk" box.
    NoDiskPrompt noPrompt;
    WIN32_FIND_DATAW found;
    // The basic level leaves out the short 8.3 names nobody here reads, which the file system (and
    // Wine for every long name) would otherwise make up; Vista knows neither it nor the larger fetch.
    HANDLE find =
        FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED || error == ERROR_NO_MORE_FILES;
    }
    int result = 1;
    do {
        if (callback)
            result = callback(found, context);
    } while (result && FindNextFileW(find, &found));
    FindClose(find);
    return result;
}
