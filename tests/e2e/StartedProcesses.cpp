#include "StartedProcesses.h"

#include <tlhelp32.h>
#include <wchar.h>

#include <map>

namespace {

struct Entry {
    DWORD parent;
    std::wstring name;
};

std::map<DWORD, Entry> Snapshot() {
    std::map<DWORD, Entry> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return processes;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        processes[entry.th32ProcessID] = {entry.th32ParentProcessID, entry.szExeFile};
    CloseHandle(snapshot);
    return processes;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK OnWindow(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

StartedProcesses::StartedProcesses(DWORD ancestorId) : ancestor(ancestorId) {
    for (const auto& process : Snapshot())
        before.insert(process.first);
}

StartedProcesses::~StartedProcesses() {
    Current();
    for (DWORD id : seen) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process)
            continue;
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 5000);
        }
        CloseHandle(process);
    }
}

std::vector<DWORD> StartedProcesses::Current() {
    std::map<DWORD, Entry> processes = Snapshot();
    std::vector<DWORD> started;
    for (const auto& process : processes) {
        if (before.count(process.first))
            continue;
        // Up the chain of new processes to the ancestor (which may have ended by now).
        DWORD parent = process.second.parent;
        for (int depth = 0; depth < 16 && parent != ancestor; depth++) {
            auto up = processes.find(parent);
            if (up == processes.end() || before.count(parent))
                break;
            parent = up->second.parent;
        }
        if (parent == ancestor) {
            started.push_back(process.first);
            seen.insert(process.first);
        }
    }
    return started;
}

DWORD StartedProcesses::WaitFor(const wchar_t* exeName, DWORD milliseconds) {
    DWORD start = GetTickCount();
    do {
        for (DWORD id : Current()) {
            std::wstring path = ImagePath(id);
            const wchar_t* name = wcsrchr(path.c_str(), L'\\');
            if (name && _wcsicmp(name + 1, exeName) == 0)
                return id;
        }
        Sleep(100);
    } while (GetTickCount() - start < milliseconds);
    return 0;
}

std::wstring StartedProcesses::ImagePath(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return std::wstring();
    wchar_t path[MAX_PATH] = L"";
    DWORD length = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &length))
        path[0] = 0;
    CloseHandle(process);
    return path;
}

std::vector<HWND> StartedProcesses::Windows(DWORD processId) {
    WindowSearch search = {processId, {}};
    EnumWindows(OnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
