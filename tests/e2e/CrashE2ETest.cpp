#include "RemoteCrash.h"
#include "VeltrixProcess.h"
#include "crash/MinidumpFile.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string>

namespace {

struct Case {
    const char* function; // in the probe; null: a thread started at an address where no code is
    const char* exceptionLine;
};

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
