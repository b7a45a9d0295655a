#include "VeltrixProcess.h"
#include "crash/MinidumpFile.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <stdio.h>
#include <string>

namespace {

// The base of a module in another process, from the system's module list of that process.
ULONG_PTR RemoteModuleBase(DWORD processId, const wchar_t* name) {
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

// Loads the crash probe into the process (a thread of its own at LoadLibraryW) and gives the address the
// named function has there; 0 when that failed.
ULONG_PTR LoadProbe(HANDLE process, DWORD processId, const char* function) {
    std::wstring path = VeltrixProcess::ProgramFolder() + L"crash_probe.dll";
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
    ULONG_PTR remoteBase = RemoteModuleBase(processId, L"crash_probe.dll");
    FARPROC localFunction = local ? GetProcAddress(local, function) : nullptr;
    if (!localFunction || !remoteBase)
        return 0;
    return remoteBase + ((ULONG_PTR)localFunction - (ULONG_PTR)local);
}

struct Case {
    const char* function; // in the probe; null: a thread started at an address where no code is
    const char* exceptionLine;
};

} // namespace

// The real program's own reporter answers crashes of its threads caused from outside: a thread started
// at an address with no code, and threads that write to null, overflow their stack and throw.
TEST(CrashE2E, RealProgramLeavesReportAndMinidump) {
    static const Case cases[] = {
        {nullptr, "Access Violation [0xC0000005] at 0x"},
        {"CrashNullWrite", "Access Violation [0xC0000005] at 0x"},
        {"CrashStackOverflow", "Stack Overflow [0xC00000FD] at 0x"},
#ifdef _WIN64
        {"CrashThrow", "C++ Exception [0x20474343] at 0x"},
#else
        // The probe carries a C++ runtime of its own. The 32-bit unwinder never enters the system's
        // exception dispatch, and the probe's terminate handler is not the program's: its uncaught throw
        // ends in the C runtime's abort(), which the program's reporter answers as such.
        {"CrashThrow", "Exception [0x40000015] at 0x"},
#endif
    };
    std::wstring textPath = VeltrixProcess::ProgramFolder() + L"Veltrix_Debug.txt";
    std::wstring dumpPath = VeltrixProcess::ProgramFolder() + L"Veltrix_Debug.dmp";
    printf("%-20s %-6s %-8s %s\n", "case in Veltrix.exe", "text", "minidump", "exception line");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function ? c.function : "wild start address");
        DeleteFileW(textPath.c_str());
        DeleteFileW(dumpPath.c_str());
        VeltrixProcess veltrix;
        ASSERT_TRUE(veltrix.Start(L"-s"));
        ASSERT_NE(nullptr, veltrix.WaitForMainWindow(20000));
        HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, veltrix.Id());
        ASSERT_NE(nullptr, process);
        ULONG_PTR start = c.function ? LoadProbe(process, veltrix.Id(), c.function) : 0x10;
        ASSERT_NE(0u, start);
        DWORD threadId = 0;
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(start),
                                           nullptr, 0, &threadId);
        ASSERT_NE(nullptr, thread);
        CloseHandle(thread);
        CloseHandle(process);
        ASSERT_TRUE(veltrix.WaitForExit(120000)) << "Veltrix.exe did not end after the crash";

        std::string text = TempFolder::Read(textPath);
        MinidumpFile dump(TempFolder::Read(dumpPath));
        std::string firstLine = text.substr(0, text.find("\r\n"));
        printf("%-20s %-6s %-8s %s\n", c.function ? c.function : "wild start address", text.empty() ? "no" : "yes",
               dump.valid ? "yes" : "no", firstLine.c_str());
        EXPECT_EQ(0u, text.find(c.exceptionLine)) << text;
        EXPECT_NE(std::string::npos, firstLine.find(" in Thread " + std::to_string(threadId) + "."));
        if (!c.function) {
            EXPECT_NE(std::string::npos, text.find(" location 0x00000010.\r\n")) << text;
        } else if (!strcmp(c.function, "CrashNullWrite")) {
            EXPECT_NE(std::string::npos, text.find(".\r\nWrite to location 0x00000000.\r\n")) << text;
        }
        // The program with its file version 1.1.0.1, and the crashed thread in the thread list.
        EXPECT_NE(std::string::npos, text.find("    1.0001.00000.000001 - ")) << text;
        EXPECT_NE(std::string::npos, text.find("Veltrix.exe\r\n"));
        EXPECT_NE(std::string::npos, text.find("\r\nThreadList:\r\n"));
        EXPECT_NE(std::string::npos, text.find("\r\n" + std::to_string(threadId) + " "));
        EXPECT_TRUE(dump.valid);
        EXPECT_EQ(threadId, dump.exceptionThread);
        EXPECT_TRUE(dump.threadListed);
        EXPECT_GT(dump.modules, 0u);
    }
    DeleteFileW(textPath.c_str());
    DeleteFileW(dumpPath.c_str());
}
