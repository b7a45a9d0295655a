#include "VeltrixProcess.h"

#include "TempFolder.h"

#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

namespace {

struct Search {
    DWORD processId;
    const wchar_t* className;
    bool prefix;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK OnWindow(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    if (search->visibleOnly && !IsWindowVisible(window))
        return TRUE;
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    size_t length = wcslen(search->className);
    bool matches =
        search->prefix ? wcsncmp(name, search->className, length) == 0 : wcscmp(name, search->className) == 0;
    if (!matches)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

VeltrixProcess::~VeltrixProcess() {
    if (process.hProcess) {
        if (IsRunning())
            TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hProcess);
        if (process.hThread)
            CloseHandle(process.hThread);
    }
}

std::wstring VeltrixProcess::ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

bool VeltrixProcess::Start(const std::wstring& arguments, const std::wstring& programPath) {
    std::wstring program = programPath.empty() ? ProgramFolder() + L"Veltrix.exe" : programPath;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // Under Wine a start has once failed at once for no reason it gave, and the next one worked: a start
    // that fails is reported and tried twice more before the test is told.
    for (int attempt = 0; attempt < 3; attempt++) {
        if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process))
            return true;
        printf("starting %ls failed with error %lu\n", program.c_str(), GetLastError());
        Sleep(500);
    }
    return false;
}

bool VeltrixProcess::Attach(DWORD processId) {
    process.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    process.dwProcessId = process.hProcess ? processId : 0;
    return process.hProcess != nullptr;
}

void VeltrixProcess::Detach() {
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    process = {};
}

void VeltrixProcess::Kill() {
    if (process.hProcess) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    Detach();
}

bool VeltrixProcess::WaitForExit(DWORD milliseconds, DWORD* exitCode) {
    if (!process.hProcess || WaitForSingleObject(process.hProcess, milliseconds) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(process.hProcess, exitCode);
    return true;
}

DWORD VeltrixProcess::CloseAndWait(HWND window, DWORD milliseconds) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD exitCode = STILL_ACTIVE;
    return WaitForExit(milliseconds, &exitCode) ? exitCode : STILL_ACTIVE;
}

bool VeltrixProcess::IsRunning() const {
    return process.hProcess && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
}

HWND VeltrixProcess::FindWindowOfClass(const wchar_t* className, bool prefix, bool visibleOnly) const {
    Search search = {process.dwProcessId, className, prefix, visibleOnly, nullptr};
    EnumWindows(OnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND VeltrixProcess::WaitForMenu(DWORD milliseconds) const {
    return WaitForWindow(L"#32768", milliseconds);
}

HWND VeltrixProcess::WaitForWindow(const wchar_t* className, DWORD milliseconds) const {
    DWORD start = GetTickCount();
    do {
        if (HWND found = FindWindowOfClass(className, false, true))
            return found;
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

HWND VeltrixProcess::WaitForMainWindow(DWORD milliseconds) const {
    DWORD start = GetTickCount();
    do {
        if (HWND main = FindWindowOfClass(L"Kavrin_", true, false))
            return main;
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

std::string VeltrixProcess::AskProbe(HWND popup, const wchar_t* name, WPARAM argument) {
    // Menus and the shell's reference live in the process that made them: a hook library answers inside
    // Veltrix.exe and leaves what it found in a file named after the question and the process.
    static HMODULE probe = LoadLibraryW((ProgramFolder() + L"menu_probe.dll").c_str());
    HOOKPROC hook = probe ? (HOOKPROC)(void*)GetProcAddress(probe, "MenuProbeHook") : nullptr;
    DWORD processId = 0;
    DWORD thread = GetWindowThreadProcessId(popup, &processId);
    if (!hook || !thread)
        return std::string();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring file = std::wstring(temp) + name + L"-" + std::to_wstring(processId) + L".txt";
    DeleteFileW(file.c_str());
    HHOOK installed = SetWindowsHookExW(WH_CALLWNDPROC, hook, probe, thread);
    if (!installed)
        return std::string();
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(popup, RegisterWindowMessageW(name), argument, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    UnhookWindowsHookEx(installed);
    std::string result = TempFolder::Read(file);
    DeleteFileW(file.c_str());
    return result;
}

bool VeltrixProcess::HoldShellReference(HWND popup, DWORD milliseconds) {
    return AskProbe(popup, L"VeltrixReferenceProbe", milliseconds) == "held";
}

std::vector<std::wstring> VeltrixProcess::MenuItems(HWND popup, bool withSizes) {
    std::string bytes = AskProbe(popup, L"VeltrixMenuProbe", withSizes ? 1 : 0);
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        memcpy(&text[0], bytes.data(), text.size() * sizeof(wchar_t));
    std::vector<std::wstring> items;
    size_t start = 0, end;
    while ((end = text.find(L'\n', start)) != std::wstring::npos) {
        items.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::wstring VeltrixProcess::ClassName(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

void VeltrixProcess::PressKey(WORD virtualKey) {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = virtualKey;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void VeltrixProcess::TypeCharacter(wchar_t character) {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wScan = character;
    input[0].ki.dwFlags = KEYEVENTF_UNICODE;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

std::vector<std::wstring> VeltrixProcess::ModulePaths(const wchar_t* fileName) const {
    std::vector<std::wstring> paths;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process.dwProcessId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return paths;
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
        if (_wcsicmp(module.szModule, fileName) == 0)
            paths.push_back(module.szExePath);
    }
    CloseHandle(snapshot);
    return paths;
}

bool VeltrixProcess::WaitForFile(const std::wstring& path, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(100);
    }
    Sleep(200); // the writer may still be closing the file
    return true;
}
