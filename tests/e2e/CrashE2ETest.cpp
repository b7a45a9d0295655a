#include "RemoteCrash.h"
#include "VeltrixProcess.h"
#include "crash/MinidumpFile.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* function; // in the probe; null: a thread started at an address where no code is
    const char* exceptionLine;
};

typedef char*(CDECL* UnixNameFn)(const wchar_t* dosName);

// The host's path of a file, through Wine's own bridge (looked up at run time: it exists only there).
std::string UnixName(const std::wstring& path) {
    UnixNameFn convert = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = convert ? convert(path.c_str()) : nullptr;
    std::string result = name ? name : "";
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Runs a host program (through Wine's bridge, which hands back no process handle) and gives what it
// printed: a host Python writes it to a file, whole, under its final name only when done.
std::string RunHost(const std::vector<std::string>& command) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring output = std::wstring(temp) + L"veltrix-host-" + std::to_wstring(GetTickCount()) + L".txt";
    std::string line = "python3 -c \"import os,subprocess,sys; r=subprocess.run(sys.argv[2:],capture_output=True,"
                       "text=True); open(sys.argv[1]+'.part','w').write(r.stdout+r.stderr); "
                       "os.replace(sys.argv[1]+'.part',sys.argv[1])\" \"" +
                       UnixName(output) + "\"";
    for (const std::string& argument : command)
        line += " \"" + argument + "\"";
    std::wstring commandLine(line.begin(), line.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"/usr/bin/python3", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return std::string();
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    for (int i = 0; i < 600 && GetFileAttributesW(output.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(100);
    std::string text = TempFolder::Read(output);
    DeleteFileW(output.c_str());
    return text;
}

// The image base a PE file was linked for.
unsigned long long LinkedBase(const std::string& file) {
    if (file.size() < 0x400)
        return 0;
    unsigned pe = *reinterpret_cast<const unsigned*>(&file[0x3C]);
    unsigned short magic = *reinterpret_cast<const unsigned short*>(&file[pe + 24]);
    if (magic == 0x20B)
        return *reinterpret_cast<const unsigned long long*>(&file[pe + 24 + 24]);
    return *reinterpret_cast<const unsigned*>(&file[pe + 24 + 28]);
}

} // namespace

// The real program's own reporter answers crashes of its threads caused from outside: a thread started
// at an address with no code, and threads that write to null, overflow their stack and throw. With no
// report server (the test prefix's empty ReportHost) no dialog asks, and the system's handling ends it.
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
        DWORD threadId = RemoteCrash::CrashNewThread(veltrix.Id(), c.function);
        ASSERT_NE(0u, threadId);
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

// tools/symbolize turns the report of a crash inside the real program's own code into functions and lines:
// a thread of Veltrix.exe started at WorkerThread::Run with no worker faults on its first read, and the
// report's exception line and first stack frame are named as that function in its source file.
TEST(CrashE2E, SymbolizeNamesTheCrashingFunction) {
    std::wstring program = VeltrixProcess::ProgramFolder() + L"Veltrix.exe";
    std::string tools = VELTRIX_UPDATE_SERVER;
    tools = tools.substr(0, tools.rfind("server/")) + "tools/";
#ifdef _WIN64
    const char* nm = "x86_64-w64-mingw32-nm";
#else
    const char* nm = "i686-w64-mingw32-nm";
#endif
    std::string symbols = RunHost({nm, "-C", UnixName(program)});
    size_t at = symbols.find(" T WorkerThread::Run(void*)");
    ASSERT_NE(std::string::npos, at) << "nm found no WorkerThread::Run";
    unsigned long long linked = strtoull(symbols.substr(symbols.rfind('\n', at) + 1, at).c_str(), nullptr, 16);
    unsigned long long base = LinkedBase(TempFolder::Read(program));
    ASSERT_NE(0u, base);

    std::wstring textPath = VeltrixProcess::ProgramFolder() + L"Veltrix_Debug.txt";
    DeleteFileW(textPath.c_str());
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-s"));
    ASSERT_NE(nullptr, veltrix.WaitForMainWindow(20000));
    ULONG_PTR loaded = RemoteCrash::ModuleBase(veltrix.Id(), L"Veltrix.exe");
    ASSERT_NE(0u, loaded);
    ASSERT_NE(0u, RemoteCrash::StartThreadAt(veltrix.Id(), (ULONG_PTR)(loaded + (linked - base))));
    ASSERT_TRUE(veltrix.WaitForExit(120000)) << "Veltrix.exe did not end after the crash";

    std::string named = RunHost({"python3", tools + "symbolize", UnixName(textPath), UnixName(program)});
    printf("%s\n", named.substr(0, named.find("\nStack:")).c_str());
    // The exception line, then the name addr2line gives its address.
    size_t first = named.find("\n");
    ASSERT_EQ(0u, named.find("Access Violation [0xC0000005] at 0x")) << named;
    EXPECT_EQ(first + 1, named.find("\n    -> 0x", first) + 1) << named;
    std::string exceptionName = named.substr(first + 1, named.find('\n', first + 1) - first - 1);
    EXPECT_NE(std::string::npos, exceptionName.find(" WorkerThread::Run(void*) at update/WorkerThread.cpp:"))
        << exceptionName;
    // The stack's first frame is named the same.
    size_t stack = named.find("\nStack:\n");
    ASSERT_NE(std::string::npos, stack);
    size_t frameName = named.find("\n    -> 0x", stack);
    ASSERT_NE(std::string::npos, frameName);
    EXPECT_EQ(named.find('\n', named.find('\n', stack + 1) + 1), frameName) << named.substr(stack, 400);
    EXPECT_NE(std::string::npos,
              named.substr(frameName, 200).find("WorkerThread::Run(void*) at update/WorkerThread.cpp:"));
    DeleteFileW(textPath.c_str());
    DeleteFileW((VeltrixProcess::ProgramFolder() + L"Veltrix_Debug.dmp").c_str());
}
