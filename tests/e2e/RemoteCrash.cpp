#include "RemoteCrash.h"

#include <tlhelp32.h>

#include <string>

// The base of a module in another process, from the system's module list of that process.
ULONG_PTR RemoteCrash::ModuleBase(DWORD processId, const wchar_t* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    ULONG_PTR base = 0;
    for (BOOL more = Module32FirstW(snapshot, &entry); more && !base; more = Module32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szModule, name) == 0)
            base = (ULONG_PTR)entry.modBaseAddr;
    CloseHandle(snapshot);
    return base;
}

namespace {

std::wstring ProbePath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1) + L"crash_probe.dll";
}

} // namespace

ULONG_PTR RemoteCrash::LoadProbe(HANDLE process, DWORD processId, const char* function) {
    std::wstring path = ProbePath();
    SIZE_T size = (path.size() + 1) * sizeof(wchar_t);
    void* remotePath = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remotePath || !WriteProcessMemory(process, remotePath, path.c_str(), size, nullptr))
        return 0;
    // kernel32.dll lies at the same address in every process of a session.
    auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE loader = CreateRemoteThread(process, nullptr, 0, loadLibrary, remotePath, 0, nullptr);
    if (!loader)
        return 0;
    WaitForSingleObject(loader, 30000);
    CloseHandle(loader);
    HMODULE local = LoadLibraryW(path.c_str());
    ULONG_PTR remoteBase = ModuleBase(processId, L"crash_probe.dll");
    FARPROC localFunction = local ? GetProcAddress(local, function) : nullptr;
    if (!localFunction || !remoteBase)
        return 0;
    return remoteBase + ((ULONG_PTR)localFunction - (ULONG_PTR)local);
}

DWORD RemoteCrash::CrashNewThread(DWORD processId, const char* function) {
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
    if (!process)
        return 0;
    ULONG_PTR start = function ? LoadProbe(process, processId, function) : 0x10;
    DWORD threadId = 0;
    HANDLE thread = start ? CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(start),
                                               nullptr, 0, &threadId)
                          : nullptr;
    if (thread)
        CloseHandle(thread);
    CloseHandle(process);
    return thread ? threadId : 0;
}

DWORD RemoteCrash::StartThreadAt(DWORD processId, ULONG_PTR address) {
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
    if (!process)
        return 0;
    DWORD threadId = 0;
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(address), nullptr,
                                       0, &threadId);
    if (thread)
        CloseHandle(thread);
    CloseHandle(process);
    return thread ? threadId : 0;
}
