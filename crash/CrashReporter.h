#pragma once
// The program's one crash reporter, a static object armed before the application starts: an unhandled
// exception anywhere in the process leaves a text report and a minidump beside the program (or in the
// temporary folder). With a report server configured the user is then offered to send both, and the
// process ends; without one the system's own crash handling takes over.

#include "base/ErrorText.h"
#include "base/KernelHandle.h"
#include "base/LogWriter.h"
#include "base/WString.h"

#include <windows.h>

class ReportFile;
class SymbolLibrary;
class DumpLists;

class CrashReporter {
public:
    CrashReporter();
    ~CrashReporter();
    CrashReporter(const CrashReporter&) = delete;
    CrashReporter& operator=(const CrashReporter&) = delete;

    // The armed reporter, or null outside its life.
    static CrashReporter* Current() { return current; }

    // host: scheme and host of the report server (empty: none); product and extra may be null (the
    // version resource's "InternalName", and an empty text).
    void ConfigureReport(int iconId, const wchar_t* host, const wchar_t* path, const wchar_t* product,
                         const wchar_t* extra);
    const WString& ReportHost() const { return reportHost; }
    const WString& ProductName() const { return productName; }
    // The last network error's text, for the report's upload; the HTTP layer is told to fill it.
    ErrorText& NetworkError() { return networkError; }
    LogWriter& Log() { return log; }

    static LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* pointers);
    // Writes the files and offers to send them, on a thread of its own (the crashing thread may have no
    // stack left). 1 when the system's handling is to take over, 0 when the process is to end without it.
    int WriteDebugReport(EXCEPTION_POINTERS* pointers);
    // The problem-report dialog and, if the user agrees, the upload of the form to the report server.
    // 1 when there is no report server (nothing shown, nothing sent), else 0, whatever the user chose and
    // whether the upload worked. dumpPath may be empty.
    int UploadReport(const wchar_t* dumpPath, const wchar_t* textPath);

    // The server, port and scheme of a report host: "http://name[:port]", "https://name[:port]" (the
    // default port of each scheme), or a bare "name[:port]" (plain HTTP); a path after the host is
    // ignored. 0, and no server, for what is no plain address (Url): an empty name, a user name before
    // it, a port outside 1 to 65535.
    static int SplitReportHost(const wchar_t* host, WString& server, unsigned short* port, int* secure);

    // The two bases the files are named from: the program's path without extension, and the same name
    // in the temporary folder; "MiniDump" where the program's name cannot be had.
    static void FileBases(wchar_t* primary, wchar_t* fallback);
    // The report's name of an exception code; "Exception" for codes it does not know.
    static const char* ExceptionName(DWORD code);

    // The bounds of the report's steps, in milliseconds. The crashed thread watches them: a step that
    // overruns its bound ends the process with what is on disk by then.
    static const DWORD FilesBound = 60000;       // the text report and the minidump
    static const DWORD DialogIdleLimit = 300000; // the dialog, counted from the user's last input
    static const DWORD UploadBound = 90000;      // the machine identifier and the upload

private:
    enum : LONG { PHASE_NONE, PHASE_START, PHASE_FILES, PHASE_DIALOG, PHASE_UPLOAD, PHASE_DONE };
    struct Job;
    static void SetPhase(LONG next);
    static DWORD PhaseLimit(LONG which);
    // 1 when the current step has run longer than its bound and `grace` more.
    static int PhaseExpired(DWORD grace);
    static int IsNt();
    static DWORD WINAPI ReportThread(void* parameter);
    void RunJob(Job& job);
    static int CreateReportFile(ReportFile& file, const wchar_t* primary, const wchar_t* fallback,
                                const wchar_t* suffix, wchar_t* path);
    // The report's sections: the exception, its location and the registers; the processors and the
    // system (formatted when armed); the stack, the log and the module and thread lists.
    static void WriteException(ReportFile& file, const Job& job);
    static void FormatPlatform(char* text, unsigned capacity);
    void WriteDetails(ReportFile& file, const Job& job, SymbolLibrary* symbols, DumpLists* lists);

    static CrashReporter* current;
    static volatile LONG entered;
    static volatile DWORD reportingThread;
    static volatile DWORD crashedThread;
    static volatile LONG phase;
    static volatile DWORD phaseStarted;
    static volatile DWORD firstCode;
    static volatile LONG firstResult;

    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
    KernelHandle reportDone;
    ErrorText networkError;
    WString reportHost;
    WString reportPath;
    WString productName;
    WString extraText;
    int icon = 0;
    LogWriter log;
    char platformText[4096];
};
