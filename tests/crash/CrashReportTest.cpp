#include "Pixels.h"
#include "TempFolder.h"
#include "base/WString.h"
#include "crash/CrashReporter.h"
#include "crash/MinidumpFile.h"
#include "crash/ReportDialog.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <map>
#include <string>

namespace {

std::wstring TestFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text)
        narrow += (char)c;
    return narrow;
}

// One run of the crash program, copied into a folder of its own so that its report lands there.
struct CrashRun {
    DWORD exitCode = 0;
    DWORD milliseconds = 0;
    bool ended = false;
    std::string text;
    std::string dump;
    std::map<std::string, std::string> expect;

    CrashRun(const TempFolder& folder, const wchar_t* which, const std::wstring& reportFolder = std::wstring(),
             const std::wstring& name = L"crash_cases") {
        std::wstring program = folder.Path() + L"\\" + name + L".exe";
        CopyFileW((TestFolder() + L"crash_cases.exe").c_str(), program.c_str(), FALSE);
        std::wstring commandLine = L"\"" + program + L"\" " + which;
        // The system's crash handling (Wine's debugger) prints its own report; not into the test's output.
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
        PROCESS_INFORMATION process = {};
        BOOL created = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &process);
        CloseHandle(nul);
        if (!created)
            return;
        DWORD started = GetTickCount();
        ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
        milliseconds = GetTickCount() - started;
        if (!ended)
            TerminateProcess(process.hProcess, 99);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        std::wstring files = (reportFolder.empty() ? folder.Path() : reportFolder) + L"\\" + name + L"_Debug";
        text = TempFolder::Read(files + L".txt");
        dump = TempFolder::Read(files + L".dmp");
        std::string lines = TempFolder::Read(folder.Path() + L"\\" + name + L"_Expect.txt");
        size_t start = 0;
        while (start < lines.size()) {
            size_t end = lines.find('\n', start);
            std::string line = lines.substr(start, end - start);
            size_t equals = line.find('=');
            if (equals != std::string::npos)
                expect[line.substr(0, equals)] = line.substr(equals + 1);
            start = end == std::string::npos ? lines.size() : end + 1;
        }
    }

    std::string Hex(const char* key, int digits) {
        char buffer[32];
        snprintf(buffer, sizeof(buffer), "0x%0*llX", digits, strtoull(expect[key].c_str(), nullptr, 10));
        return buffer;
    }
};

// Environment variables changed for the children started meanwhile.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name(name) {
        wchar_t old[4096];
        DWORD length = GetEnvironmentVariableW(name, old, 4096);
        had = length > 0 && length < 4096;
        if (had)
            previous = old;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name, had ? previous.c_str() : nullptr); }

private:
    const wchar_t* name;
    bool had = false;
    std::wstring previous;
};

struct Case {
    const wchar_t* argument;
    const char* exceptionLine; // up to the address
};

} // namespace

// Every way of crashing leaves a report that names the exception, the crashing thread and the system,
// and a minidump holding that thread's context; the matrix is printed.
TEST(CrashReport, EveryKindOfCrashLeavesReportAndMinidump) {
    static const Case cases[] = {
        {L"null-write", "Access Violation [0xC0000005] at 0x"},
        {L"wild-read", "Access Violation [0xC0000005] at 0x"},
        {L"divide", "Integer Divide by Zero [0xC0000094] at 0x"},
        {L"breakpoint", "Breakpoint [0x80000003] at 0x"},
        {L"unknown", "Exception [0xE0001234] at 0x"},
        {L"cpp-thread", "C++ Exception [0x20474343] at 0x"},
        {L"stack-overflow", "Stack Overflow [0xC00000FD] at 0x"},
        {L"heap", "Exception [0xC0000374] at 0x"},
        {L"abort", "Exception [0x40000015] at 0x"},
    };
    printf("%-16s %-6s %-8s %s\n", "case", "text", "minidump", "exception line");
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.argument));
        TempFolder folder(L"crash");
        CrashRun run(folder, c.argument);
        MinidumpFile dump(run.dump);
        std::string firstLine = run.text.substr(0, run.text.find("\r\n"));
        printf("%-16s %-6s %-8s %s\n", Narrow(c.argument).c_str(), run.text.empty() ? "no" : "yes",
               dump.valid ? "yes" : "no", firstLine.c_str());
        ASSERT_TRUE(run.ended) << "the crashed program did not end";

        std::string thread = run.expect["thread"];
        ASSERT_FALSE(thread.empty());
        EXPECT_EQ(0u, run.text.find(c.exceptionLine)) << run.text;
        EXPECT_NE(std::string::npos, firstLine.find(" in Thread " + thread + ".")) << firstLine;
        EXPECT_NE(std::string::npos,
                  run.text.find("\r\n" + run.expect["system"] + "\r\n" + run.expect["platform"] + "\r\n"))
            << run.text;
        EXPECT_NE(std::string::npos, run.text.find("\r\nStack:\r\n"));
        // The program itself with its version (the fixture has none: 0.0.0.0) and the crashing thread with
        // the name it gave itself.
        EXPECT_NE(std::string::npos, run.text.find("crash_cases.exe\r\n"));
        EXPECT_NE(std::string::npos, run.text.find("\r\n" + thread)) << run.text;
        EXPECT_NE(std::string::npos, run.text.find(" crash case thread\r\n")) << run.text;

        EXPECT_TRUE(dump.valid);
        EXPECT_GT(dump.threads, 0u);
        EXPECT_GT(dump.modules, 0u);
        EXPECT_EQ(strtoul(thread.c_str(), nullptr, 10), dump.exceptionThread);
        EXPECT_TRUE(dump.threadListed);
        ASSERT_TRUE(dump.hasContext);
        char pc[40];
#ifdef _WIN64
        snprintf(pc, sizeof(pc), "RIP=0x%016llX,", dump.pc);
#else
        snprintf(pc, sizeof(pc), "EIP=0x%08llX,", dump.pc);
#endif
        EXPECT_NE(std::string::npos, run.text.find(pc)) << pc;

        if (!wcscmp(c.argument, L"null-write")) {
            EXPECT_NE(std::string::npos, run.text.find(".\r\nWrite to location 0x00000000.\r\n\r\n"));
        } else if (!wcscmp(c.argument, L"wild-read")) {
            EXPECT_NE(std::string::npos,
                      run.text.find(".\r\nRead from location " + run.Hex("address", 8) + ".\r\n\r\n"));
        }
    }
}

// Where the program's folder takes no file, both files go to the temporary folder; without dbghelp.dll
// only the text is written, without the stack and the lists.
TEST(CrashReport, FilesGoToTemporaryFolderAndTextAloneWithoutDbghelp) {
    TempFolder folder(L"crash");
    std::wstring temp = folder.Folder(L"temp");
    // Folders where the files would go: nothing can create a file under those names.
    folder.Folder(L"crash_cases_Debug.txt");
    folder.Folder(L"crash_cases_Debug.dmp");
    {
        ScopedVariable tmp(L"TMP", temp + L"\\");
        ScopedVariable tempVariable(L"TEMP", temp + L"\\");
        CrashRun run(folder, L"null-write", temp);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(0u, run.text.find("Access Violation [0xC0000005]")) << run.text;
        EXPECT_TRUE(MinidumpFile(run.dump).valid);
    }

    // Wine's loader override for this one program name: dbghelp.dll is not there for it.
    TempFolder bare(L"crash");
    const wchar_t* overrides = L"Software\\Wine\\AppDefaults\\crash_bare.exe\\DllOverrides";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, overrides, L"dbghelp", REG_SZ, L"", sizeof(wchar_t)));
    CrashRun run(bare, L"null-write", std::wstring(), L"crash_bare");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\crash_bare.exe");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(0u, run.text.find("Access Violation [0xC0000005]")) << run.text;
    EXPECT_NE(std::string::npos, run.text.find("\r\n" + run.expect["platform"] + "\r\n"));
    EXPECT_EQ(std::string::npos, run.text.find("Stack:"));
    EXPECT_EQ(std::string::npos, run.text.find("ModuleList:"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((bare.Path() + L"\\crash_bare_Debug.dmp").c_str()));
}

// A fault in the report's own work is not reported again: the system ends the process, and the report's
// first sections, written before it, are on disk.
TEST(CrashReport, FaultWhileReportingFallsThroughToSystem) {
    TempFolder folder(L"crash");
    CrashRun run(folder, L"reentry");
    EXPECT_TRUE(run.ended) << "the crashed program did not end";
    EXPECT_EQ(0u, run.text.find("Access Violation [0xC0000005] at 0x")) << run.text;
    EXPECT_NE(std::string::npos, run.text.find("AX=0x")) << run.text;
    EXPECT_NE(std::string::npos, run.text.find("\r\n" + run.expect["platform"] + "\r\n")) << run.text;
    EXPECT_EQ(std::string::npos, run.text.find("the log's last line"));
    printf("fault inside the report: ended after %lu ms, %u bytes on disk\n", run.milliseconds,
           (unsigned)run.text.size());
}

// Crashes that leave the process in a bad state still end with a whole report: the C heap damaged and
// locked by the crashed thread (the report takes nothing from it), two threads faulting at once (one
// report, of one of them; the other waits for it instead of going to the system's handling), and faults in
// window procedures that the system calls back, in WM_CREATE and in owner drawing inside a menu's loop.
TEST(CrashReport, ReportFinishesWhateverTheCrashLeftBehind) {
#ifdef _WIN64
    // The 64-bit test build has no callback guard (its exception handling is table-based), and Wine
    // swallows faults in callbacks: the window cases are the 32-bit program's.
    static const char* const cases[] = {"crt-heap", "two-threads"};
#else
    static const char* const cases[] = {"crt-heap", "two-threads", "wm-create", "owner-draw"};
#endif
    printf("%-12s %-6s %-10s %s\n", "case", "ended", "ms to end", "first line");
    for (const char* name : cases) {
        SCOPED_TRACE(name);
        TempFolder folder(L"crash");
        std::wstring which(name, name + strlen(name));
        CrashRun run(folder, which.c_str());
        std::string firstLine = run.text.substr(0, run.text.find("\r\n"));
        printf("%-12s %-6s %-10lu %s\n", name, run.ended ? "yes" : "no", run.milliseconds, firstLine.c_str());
        ASSERT_TRUE(run.ended) << "the crashed program did not end";
        EXPECT_EQ(0u, run.text.find("Access Violation [0xC0000005] at 0x")) << run.text;
        EXPECT_NE(std::string::npos, run.text.find("\r\n" + run.expect["platform"] + "\r\n")) << run.text;
        // The last section is there: the report was written to its end.
        EXPECT_NE(std::string::npos, run.text.find("\r\nThreadList:\r\n")) << run.text;
        EXPECT_TRUE(MinidumpFile(run.dump).valid);
        if (!strcmp(name, "two-threads")) {
            bool first = firstLine.find(" in Thread " + run.expect["twin1"] + ".") != std::string::npos;
            bool second = firstLine.find(" in Thread " + run.expect["twin2"] + ".") != std::string::npos;
            EXPECT_TRUE(first != second) << firstLine;
            EXPECT_EQ(run.text.find("Access Violation"), run.text.rfind("Access Violation"));
        } else {
            EXPECT_NE(std::string::npos, firstLine.find(" in Thread " + run.expect["thread"] + ".")) << firstLine;
        }
    }
}

// The dialog's home page comes from the version strings: from "http://" (or "https://", which the
// program's own Comments uses) up to a closing bracket. The report host gives the upload's server, port
// and scheme.
TEST(CrashReport, HomePageAndReportHostAreReadFromTheirTexts) {
    const struct {
        const wchar_t* comments;
        const wchar_t* special;
        const wchar_t* page;
    } pages[] = {
        {L"Koravent [http://www.koravent.com/veltrix] unsigned updates", L"", L"http://www.koravent.com/veltrix"},
        {L"Koravent [https://www.koravent.com]", L"", L"https://www.koravent.com"},
        {L"[https://a.example] [http://b.example]", L"", L"https://a.example"},
        {L"Koravent", L"see http://c.example/x", L"http://c.example/x"},
        {L"Koravent", L"K a v r i n", L""},
    };
    for (const auto& c : pages) {
        WString page;
        EXPECT_EQ(c.page[0] != 0, ReportDialog::HomePage(c.comments, c.special, page)) << c.comments;
        EXPECT_STREQ(c.page, page.Buffer());
    }
    const struct {
        const wchar_t* host;
        int valid;
        const wchar_t* server;
        unsigned short port;
        int secure;
    } hosts[] = {
        {L"https://www.koravent.com", 1, L"www.koravent.com", 443, 1},
        {L"http://127.0.0.1:8080", 1, L"127.0.0.1", 8080, 0},
        {L"HTTPS://reports.example.com:8443/ignored", 1, L"reports.example.com", 8443, 1},
        {L"reports.example.com", 1, L"reports.example.com", 80, 0},
        {L"http://:80", 0, L"", 80, 0},
        {L"http://host:0", 0, L"", 80, 0},
        {L"http://host:65536", 0, L"", 80, 0},
        {L"http://host:80x", 0, L"", 80, 0},
        {L"", 0, L"", 80, 0},
    };
    for (const auto& c : hosts) {
        WString server;
        unsigned short port = 0;
        int secure = -1;
        EXPECT_EQ(c.valid, CrashReporter::SplitReportHost(c.host, server, &port, &secure)) << c.host;
        EXPECT_STREQ(c.server, server.Buffer()) << c.host;
        if (c.valid) {
            EXPECT_EQ(c.port, port) << c.host;
            EXPECT_EQ(c.secure, secure) << c.host;
        }
    }
}

// A problem-report dialog that nobody touches answers "Don't Send" by itself once its idle limit has
// passed, so that a crash ends the process although nobody is at the machine.
TEST(CrashReport, DialogNobodyAnswersClosesItself) {
    TempFolder folder(L"crash");
    std::wstring text = folder.Write(L"Veltrix_Debug.txt", "Access Violation");
    ReportDialog dialog(101, L"", text.c_str());
    dialog.SetIdleLimit(1500);
    WString email, description;
    DWORD started = GetTickCount();
    EXPECT_EQ(0, dialog.Run(email, description));
    DWORD spent = GetTickCount() - started;
    printf("untouched dialog closed itself after %lu ms (idle limit 1500 ms)\n", spent);
    EXPECT_GE(spent, 1400u);
    EXPECT_LT(spent, 10000u);
}

// The problem-report dialog with a look at its pixels once it is painted, then "Don't Send": the client
// area's mean luminance and the lowest contrast within any text (labels, links, buttons).
class ProbeReport : public ReportDialog {
public:
    using ReportDialog::ReportDialog;
    double mean = 0, contrast = 100;

protected:
    int OnInitDialog() override {
        SetTimer(window, 7, 700, nullptr);
        return ReportDialog::OnInitDialog();
    }
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_TIMER || wParam != 7)
            return ReportDialog::DialogProc(message, wParam, lParam);
        KillTimer(window, 7);
        RECT client;
        GetClientRect(window, &client);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        mean = Pixels::OfScreen(client).MeanLuminance();
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[16] = L"";
            GetClassNameW(child, name, 16);
            int id = GetDlgCtrlID(child);
            // Wine's links keep the colours its common controls read when they were first used.
            if (IsWindowVisible(child) && lstrcmpiW(name, L"Edit") && lstrcmpiW(name, L"SysLink") &&
                id != REPORT_ICON && id != REPORT_SEPARATOR)
                contrast = std::min(contrast, Pixels::OfWindow(child).Contrast());
        }
        PostMessageW(window, WM_COMMAND, REPORT_DONT_SEND, 0);
        return 1;
    }
};

TEST(CrashReport, DialogPaintsInTheAppMode) {
    TempFolder folder(L"crash");
    std::wstring text = folder.Write(L"Veltrix_Debug.txt", "Access Violation");
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    DWORD saved = 1, size = sizeof(saved);
    LSTATUS had = RegGetValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &saved, &size);
    // High contrast (Wine's stand-in for the setting, with High Contrast Black's window and button colours
    // for this session) wins over the light mode: the dialog and its texts in the user's colours.
    const int elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_BTNFACE, COLOR_BTNTEXT};
    const COLORREF black[] = {0, RGB(255, 255, 255), 0, RGB(255, 255, 255)};
    COLORREF before[4];
    for (int i = 0; i < 4; i++)
        before[i] = GetSysColor(elements[i]);
    for (DWORD mode : {0u, 1u, 2u}) {
        DWORD light = mode != 0;
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &light, sizeof(light));
        SetEnvironmentVariableW(L"VELTRIX_HIGH_CONTRAST", mode == 2 ? L"1" : nullptr);
        SetSysColors(4, elements, mode == 2 ? black : before);
        ProbeReport dialog(101, L"", text.c_str());
        WString email, description;
        dialog.Run(email, description);
        if (mode == 1) {
            EXPECT_GT(dialog.mean, 0.7);
        } else {
            EXPECT_LT(dialog.mean, 0.2) << mode;
            EXPECT_GE(dialog.contrast, 7.0) << mode;
        }
    }
    SetEnvironmentVariableW(L"VELTRIX_HIGH_CONTRAST", nullptr);
    SetSysColors(4, elements, before);
    if (had == ERROR_SUCCESS)
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &saved, sizeof(saved));
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme");
}
