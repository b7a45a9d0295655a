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
    // A process being ended may just be starting another (cmd.exe its console host, say), which would
    // live on holding the test's output pipes: end what is found until a round finds nothing alive.
    for (int round = 0; round < 20; round++) {
        int alive = 0;
        for (DWORD id : Current()) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (!process)
                continue;
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                alive++;
                TerminateProcess(process, 99);
                WaitForSingleObject(process, 5000);
            }
            CloseHandle(process);
        }
        if (!alive)
            break;
        Sleep(200);
    }
}

std::vector<DWORD> StartedProcesses::Current() {
    std::map<DWORD, Entry> processes = Snapshot();
    // A new process belongs when its parent is the ancestor or a process found before, even one that has
    // ended since (its children live on). Repeated until nothing is added: the snapshot is not in creation
    // order. Membership is decided afresh each time, so a reused process id does not carry it over.
    std::set<DWORD> members;
    for (bool added = true; added;) {
        added = false;
        for (const auto& process : processes) {
            DWORD parent = process.second.parent;
            if (before.count(process.first) || members.count(process.first))
                continue;
            if (parent == ancestor || seen.count(parent) || members.count(parent)) {
                members.insert(process.first);
                added = true;
            }
        }
    }
    seen.insert(members.begin(), members.end());
    std::vector<DWORD> found;
    for (DWORD id : members) {
        if (spared.empty() || _wcsicmp(processes[id].name.c_str(), spared.c_str()) != 0)
            found.push_back(id);
    }
    return found;
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
