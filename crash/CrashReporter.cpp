#include "crash/CrashReporter.h"

#include "crash/DumpLists.h"
#include "crash/ReportDialog.h"
#include "crash/ReportFile.h"
#include "crash/SymbolLibrary.h"
#include "base/CallbackGuard.h"
#include "base/Library.h"
#include "base/ReportHeap.h"
#include "framework/HttpPost.h"
#include "framework/Url.h"
#include "framework/VersionInfo.h"
#include "sysinfo/CpuInfo.h"
#include "sysinfo/MachineId.h"
#include "sysinfo/OsVersion.h"
#include "sysinfo/RegisterReportFile.h"

#include <exception>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

CrashReporter* CrashReporter::current = nullptr;
volatile LONG CrashReporter::entered = 0;
volatile DWORD CrashReporter::reportingThread = 0;
volatile DWORD CrashReporter::crashedThread = 0;
volatile LONG CrashReporter::phase = CrashReporter::PHASE_NONE;
volatile DWORD CrashReporter::phaseStarted = 0;
volatile DWORD CrashReporter::firstCode = 0;
volatile LONG CrashReporter::firstResult = 1;

namespace {

// GCC's runtime raises this code for every C++ throw on x64; the 32-bit terminate handler raises it too.
const DWORD GccThrow = 0x20474343;
// What the system's runtimes report for abort().
const DWORD FatalAppExit = 0x40000015;
// Room for the temporary folder (520 characters), the program's name and a suffix.
const unsigned PathRoom = 2 * MAX_PATH + 40;
// How long the report thread may take to start before the crashed thread writes the report itself:
// a crash while the loader lock is held (inside a DLL's start-up) keeps any new thread from starting.
const DWORD ReportThreadStart = 3000;
// The memory the report runs on once a crash has come (ReportHeap): reserved when the reporter is armed.
const size_t ReportHeapSize = 8 << 20;
const size_t ReportHeapCommitted = 256 << 10;
// The answer of the report server is read up to this much; nothing in it is used.
const DWORD AnswerLimit = 64 << 10;
// Each step of the upload: connecting, each send, each receive.
const DWORD UploadConnectTimeout = 10000;
const DWORD UploadSendTimeout = 20000;
const DWORD UploadReceiveTimeout = 15000;
// How long a second crashed thread lets the system's own handling of the first crash run before it ends
// the process itself.
const DWORD SystemHandlingBound = 120000;
const DWORD PROCESS_CALLBACK_FILTER = 0x1;

typedef BOOL(WINAPI* GetExceptionPolicyFn)(LPDWORD);
typedef BOOL(WINAPI* SetExceptionPolicyFn)(DWORD);

// On 64-bit Windows, an exception in a window procedure that the kernel called back (WM_CREATE from
// CreateWindowEx, WM_DRAWITEM from inside TrackPopupMenu) is swallowed at the kernel boundary of a
// 32-bit process unless the process asks otherwise, and the program goes on in a broken state without a
// report. Windows 7 SP1 (and Vista and 7 with update 976038) let the process ask.
void KeepCallbackExceptions() {
    Library kernel(L"kernel32.dll");
    auto get = kernel.Get<GetExceptionPolicyFn>("GetProcessUserModeExceptionPolicy");
    auto set = kernel.Get<SetExceptionPolicyFn>("SetProcessUserModeExceptionPolicy");
    DWORD flags = 0;
    if (get && set && get(&flags))
        set(flags & ~PROCESS_CALLBACK_FILTER);
}

// The platform's hook through which the upload goes: no cookies, no redirect (to another host or from
// HTTPS to HTTP; a report server answers at its own address), no credentials (wininet would show its
// dialog for a proxy's 407 on top of the report dialog, and logon credentials have no business going to
// a report server).
int UploadHook(int code, void*, void*) {
    switch (code) {
        case HTTP_COOKIES:
        case HTTP_POST_REDIRECTS:
        case HTTP_POST_CREDENTIALS:
            return 0;
        default:
            return 1;
    }
}

volatile LONG jobClaimed = 0;

[[noreturn]] void OnTerminate() {
    // A C++ exception nothing caught where the unwinder does not go through the system's exception
    // dispatch (the 32-bit runtime), or a call of std::terminate: reported as the C++ exception it
    // mostly is, not as the abort() the runtime would make of it. Non-continuable: the filter reports it.
    RaiseException(GccThrow, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;)
        Sleep(INFINITE);
}

void __cdecl OnAbort(int) {
    // The C runtime's abort() ends the process with exit code 3 without asking any exception filter.
    RaiseException(FatalAppExit, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

// The processor and system lines, formatted into a fixed buffer when the reporter is armed.
struct PlatformText {
    char* text;
    unsigned capacity;
    unsigned used;

    void Print(const char* format, ...) __attribute__((format(ms_printf, 2, 3))) {
        if (used + 1 >= capacity)
            return;
        va_list arguments;
        va_start(arguments, format);
        int length = _vsnprintf(text + used, capacity - used - 1, format, arguments);
        va_end(arguments);
        used = length < 0 || used + (unsigned)length > capacity - 1 ? capacity - 1 : used + (unsigned)length;
        text[used] = 0;
    }
};

void PrintLog(ReportFile& file, const WString& text) {
    // In pieces through a fixed buffer; the log may hold 64K characters.
    const wchar_t* at = text.Buffer();
    int left = text.Length();
    while (left > 0) {
        int part = left > 1024 ? 1024 : left;
        char narrow[4096];
        int length = WideCharToMultiByte(CP_ACP, 0, at, part, narrow, sizeof(narrow), nullptr, nullptr);
        file.Write(narrow, length > 0 ? (unsigned)length : 0);
        at += part;
        left -= part;
    }
}

} // namespace

// Owners on the crashed thread's stack: nothing here allocates.
struct CrashReporter::Job {
    CrashReporter* reporter;
    EXCEPTION_POINTERS* pointers;
    DWORD threadId;
    KernelHandle thread;
    KernelHandle started;
    int result;
};

CrashReporter::CrashReporter() {
    ReportHeap::Reserve(ReportHeapSize, ReportHeapCommitted);
    KeepCallbackExceptions();
    FormatPlatform(platformText, sizeof(platformText));
    log.SetFlags(LogWriter::LOG_MEMORY);
    reportDone.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    current = this;
    previousFilter = SetUnhandledExceptionFilter(UnhandledFilter);
    CallbackGuard::SetFilter(UnhandledFilter);
    std::set_terminate(OnTerminate);
    signal(SIGABRT, OnAbort);
}

CrashReporter::~CrashReporter() {
    // The members go now: a crash in what runs after this is left to the C runtime and the system.
    if (current == this) {
        current = nullptr;
        SetUnhandledExceptionFilter(previousFilter);
        CallbackGuard::SetFilter(nullptr);
    }
}

void CrashReporter::ConfigureReport(int iconId, const wchar_t* host, const wchar_t* path, const wchar_t* product,
                                    const wchar_t* extra) {
    icon = iconId;
    reportHost.Assign(host ? host : L"");
    reportPath.Assign(path ? path : L"");
    if (product && *product) {
        productName.Assign(product);
    } else {
        WString program;
        productName.Assign(L"");
        if (VersionInfo::ModulePath(nullptr, program))
            VersionInfo::VersionString(productName, L"InternalName", program);
    }
    extraText.Assign(extra ? extra : L"");
}

const char* CrashReporter::ExceptionName(DWORD code) {
    static const struct {
        DWORD code;
        const char* name;
    } names[] = {
        {0x40010005, "Control-C"},
        {0x40010008, "Control-Break"},
        {0x80000002, "Datatype Misalignment"},
        {0x80000003, "Breakpoint"},
        {0xC0000005, "Access Violation"},
        {0xC0000006, "In Page Error"},
        {0xC0000017, "No Memory"},
        {0xC000001D, "Illegal Instruction"},
        {0xC0000025, "Noncontinuable Exception"},
        {0xC0000026, "Invalid Disposition"},
        {0xC000008C, "Array Bounds Exceeded"},
        {0xC000008D, "Float Denormal Operand"},
        {0xC000008E, "Float Divide by Zero"},
        {0xC000008F, "Float Inexact Result"},
        {0xC0000090, "Float Invalid Operation"},
        {0xC0000091, "Float Overflow"},
        {0xC0000092, "Float Stack Check"},
        {0xC0000093, "Float Underflow"},
        {0xC0000094, "Integer Divide by Zero"},
        {0xC0000095, "Integer Overflow"},
        {0xC0000096, "Privileged Instruction"},
        {0xC00000FD, "Stack Overflow"},
        {0xC0000142, "DLL Initialization Failed"},
        {0xE06D7363, "Microsoft C++ Exception"},
        // Raised by GCC's runtime for every C++ throw; it reaches the filter only when nothing catches it.
        {0x20474343, "C++ Exception"},
    };
    for (const auto& entry : names)
        if (entry.code == code)
            return entry.name;
    return "Exception";
}

void CrashReporter::SetPhase(LONG next) {
    phaseStarted = GetTickCount();
    InterlockedExchange(&phase, next);
}

DWORD CrashReporter::PhaseLimit(LONG which) {
    switch (which) {
        case PHASE_START:
            return ReportThreadStart + 2000;
        case PHASE_FILES:
            return FilesBound;
        case PHASE_DIALOG:
            return DialogIdleLimit + 10000;
        case PHASE_UPLOAD:
            return UploadBound;
        default:
            return 0;
    }
}

int CrashReporter::PhaseExpired(DWORD grace) {
    LONG now = phase;
    if (now == PHASE_NONE || now == PHASE_DONE)
        return 0;
    DWORD tick = GetTickCount();
    DWORD spent = tick - phaseStarted;
    if (now == PHASE_DIALOG) {
        // The dialog's time counts from the user's last input: one who is typing a description is given
        // the time it takes.
        LASTINPUTINFO input = {sizeof(input), 0};
        if (GetLastInputInfo(&input) && tick - input.dwTime < spent)
            spent = tick - input.dwTime;
    }
    return spent > PhaseLimit(now) + grace;
}

LONG WINAPI CrashReporter::UnhandledFilter(EXCEPTION_POINTERS* pointers) {
    // A C++ throw that no frame catches arrives here (64-bit unwinder) before std::terminate is called:
    // it is reported now, where the stack still shows the throw, rather than as the abort() it becomes.
    DWORD self = GetCurrentThreadId();
    // Taken atomically: two threads may crash at once.
    if (InterlockedCompareExchange(&entered, 1, 0) != 0) {
        // A fault inside the report's own work falls through to the system.
        CrashReporter* reporter = current;
        if (self == reportingThread || self == crashedThread || !reporter || !reporter->reportDone.Valid())
            return EXCEPTION_CONTINUE_SEARCH;
        // Another thread crashed meanwhile. Handed to the system, it would end the process before the
        // first report is written, or show a second crash dialog: it waits for the first report instead
        // (as long as the first thread's bounds allow) and then ends the process with it.
        while (WaitForSingleObject(reporter->reportDone.Get(), 1000) == WAIT_TIMEOUT)
            if (PhaseExpired(5000))
                break;
        // Without a report server the system handles the first crash; it is given the time for that.
        if (firstResult && phase == PHASE_DONE)
            Sleep(SystemHandlingBound);
        TerminateProcess(GetCurrentProcess(), firstCode);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // From here on the program's own allocations come from the heap set aside for this: the crashed
    // thread may hold the C heap's lock, or have broken it.
    ReportHeap::Switch();
    crashedThread = self;
    firstCode = pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionCode : 1;
    CrashReporter* reporter = current;
    if (!reporter)
        return EXCEPTION_CONTINUE_SEARCH;
    int systemHandles = reporter->WriteDebugReport(pointers);
    firstResult = systemHandles;
    SetPhase(PHASE_DONE);
    SetEvent(reporter->reportDone.Get());
    return systemHandles ? EXCEPTION_CONTINUE_SEARCH : EXCEPTION_EXECUTE_HANDLER;
}

int CrashReporter::WriteDebugReport(EXCEPTION_POINTERS* pointers) {
    Job job = {this, pointers, GetCurrentThreadId(), KernelHandle(), KernelHandle(), 1};
    HANDLE crashed = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &crashed, 0, FALSE,
                        DUPLICATE_SAME_ACCESS))
        job.thread.Reset(crashed);
    job.started.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SetPhase(PHASE_START);
    // The crashed thread may have next to no stack left (a stack overflow leaves a few pages), so the
    // report is written by a thread with a fresh stack while this one waits. Window messages are not
    // dispatched meanwhile: the program's window procedures must not run on a crashed thread.
    KernelHandle worker(CreateThread(nullptr, 1 << 20, ReportThread, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    int started = worker.Valid() && job.started.Valid() &&
                  WaitForSingleObject(job.started.Get(), ReportThreadStart) == WAIT_OBJECT_0;
    if (started) {
        // This thread watches the report: a step that overruns its bound (a file system that hangs, a
        // report thread blocked on a lock the crash left taken, a server that trickles) ends the process
        // with what is on disk by then.
        while (WaitForSingleObject(worker.Get(), 1000) == WAIT_TIMEOUT)
            if (PhaseExpired(0))
                TerminateProcess(GetCurrentProcess(), firstCode);
    } else if (InterlockedCompareExchange(&jobClaimed, 1, 0) == 0) {
        RunJob(job);
    } else if (worker.Valid()) {
        // The worker claimed the job in the end after all.
        while (WaitForSingleObject(worker.Get(), 1000) == WAIT_TIMEOUT)
            if (PhaseExpired(0))
                TerminateProcess(GetCurrentProcess(), firstCode);
    }
    return job.result;
}

DWORD WINAPI CrashReporter::ReportThread(void* parameter) {
    // The job lives on the crashed thread's stack: it is touched only once claimed.
    if (InterlockedCompareExchange(&jobClaimed, 1, 0) != 0)
        return 0;
    Job& job = *static_cast<Job*>(parameter);
    reportingThread = GetCurrentThreadId();
    SetEvent(job.started.Get());
    job.reporter->RunJob(job);
    return 0;
}

void CrashReporter::FileBases(wchar_t* primary, wchar_t* fallback) {
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    const wchar_t* name = L"MiniDump";
    if (length && length < MAX_PATH) {
        wchar_t* slash = wcsrchr(program, L'\\');
        wchar_t* fileName = slash ? slash + 1 : program;
        // Only the file name's extension goes: a dot in a folder name is no extension.
        wchar_t* dot = wcsrchr(fileName, L'.');
        if (dot)
            *dot = 0;
        wcscpy(primary, program);
        if (*fileName)
            name = fileName;
    } else {
        wcscpy(primary, L"MiniDump");
    }
    DWORD tempLength = GetTempPathW(2 * MAX_PATH, fallback);
    if (tempLength == 0 || tempLength >= 2 * MAX_PATH)
        fallback[0] = 0;
    wcscat(fallback, name);
}

int CrashReporter::CreateReportFile(ReportFile& file, const wchar_t* primary, const wchar_t* fallback,
                                    const wchar_t* suffix, wchar_t* path) {
    const wchar_t* bases[] = {primary, fallback};
    for (const wchar_t* base : bases) {
        _snwprintf(path, PathRoom - 1, L"%ls%ls", base, suffix);
        path[PathRoom - 1] = 0;
        if (file.Create(path))
            return 1;
    }
    return 0;
}

void CrashReporter::RunJob(Job& job) {
    SetPhase(PHASE_FILES);
    wchar_t primary[MAX_PATH];
    wchar_t fallback[PathRoom];
    FileBases(primary, fallback);
    wchar_t textPath[PathRoom] = L"";
    wchar_t dumpPath[PathRoom] = L"";
    // The text is written in sections, each on disk before the next begins: should the next fault in the
    // damaged process (the registry, dbghelp), the system ends it and what came before is kept.
    ReportFile text;
    if (CreateReportFile(text, primary, fallback, L"_Debug.txt", textPath)) {
        // The exception and the registers need nothing but the exception record.
        WriteException(text, job);
        // The processors and the system were named when the reporter was armed: the registry and the
        // heap they are read with may be what the crash left broken.
        text.Write(job.reporter->platformText, (unsigned)strlen(job.reporter->platformText));
        text.Flush();
        RegisterReportFile(textPath);
    }
    SymbolLibrary symbols;
    DumpLists lists;
    if (symbols.Load()) {
        ReportFile dump;
        if (CreateReportFile(dump, primary, fallback, L"_Debug.dmp", dumpPath)) {
            RegisterReportFile(dumpPath);
            // This thread is not the crashed one, so the dump shows that thread as it stood at the fault.
            symbols.WriteMinidump(dump.Handle(), job.pointers, job.threadId, lists);
        }
        dump.Close();
    }
    if (text.IsOpen())
        WriteDetails(text, job, symbols.IsLoaded() ? &symbols : nullptr, &lists);
    text.Close();
    lists.Clear();
    // On this thread too, not the crashed one: the dialog and the upload need stack, and the crashed
    // thread (which may be the one of the program's windows) only waits meanwhile.
    job.result = UploadReport(dumpPath, textPath);
    symbols.Unload();
}

int CrashReporter::SplitReportHost(const wchar_t* host, WString& server, unsigned short* port, int* secure) {
    server.Assign(L"");
    *port = INTERNET_DEFAULT_HTTP_PORT;
    *secure = 0;
    // A bare "name[:port]" is a server of plain HTTP. An address with a scheme never reads as one: its
    // "scheme:" would be a name followed by a port that is no number.
    Url address;
    WString plain;
    if (!host || (!address.Parse(host) && !(plain.Format(L"http://%s", host) && address.Parse(plain))))
        return 0;
    if (!server.Assign(address.Host()))
        return 0;
    *port = address.Port();
    *secure = address.IsSecure();
    return 1;
}

int CrashReporter::UploadReport(const wchar_t* dumpPath, const wchar_t* textPath) {
    WString server;
    unsigned short port = 0;
    int secure = 0;
    // A host that cannot be read is no report server either: nothing could be sent to it.
    if (reportHost.IsEmpty() || !SplitReportHost(reportHost, server, &port, &secure))
        return 1;
    WString email, description;
    SetPhase(PHASE_DIALOG);
    ReportDialog dialog(icon, dumpPath, textPath);
    dialog.SetIdleLimit(DialogIdleLimit);
    if (!dialog.Run(email, description))
        return 0;
    SetPhase(PHASE_UPLOAD);

    WString program, version, machine;
    if (VersionInfo::ModulePath(nullptr, program))
        VersionInfo::FileVersionText(program, nullptr, nullptr, &version);
    FormatMachineId(machine, MACHINE_ID_PROBLEM_REPORT);
    HttpPost client;
    client.SetTimeouts(UploadConnectTimeout, UploadSendTimeout, UploadReceiveTimeout);
    // The server reads the fields in this order; a text that cannot be added leaves no form worth sending.
    if (!client.AddFormField(L"a", L"r") || !client.AddFormField(L"p", productName) ||
        !client.AddFormField(L"s", extraText) || !client.AddFormField(L"v", version) ||
        !client.AddFormField(L"g", machine) || !client.AddFormField(L"e", email) ||
        !client.AddFormField(L"x", description))
        return 0;
    // A file that cannot be opened is left out; the rest still goes.
    if (dumpPath && *dumpPath)
        client.AddFormFile(L"d", dumpPath);
    if (textPath && *textPath)
        client.AddFormFile(L"t", textPath);
    HttpRequest request;
    request.server = server;
    request.objectPath = reportPath;
    request.userAgent = L"";
    // The port and scheme come from the host's address: a report server behind "https://" listens on 443
    // and speaks TLS, not plain HTTP on port 80.
    request.port = port;
    request.secure = secure;
    request.byteLimit = AnswerLimit;
    request.callback = UploadHook;
    WString answer;
    client.PostForm(request, answer);
    return 0;
}

int CrashReporter::IsNt() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    return (version.dwPlatformId & VER_PLATFORM_WIN32_NT) != 0;
}

void CrashReporter::WriteException(ReportFile& file, const Job& job) {
    int nt = IsNt();
    const EXCEPTION_RECORD* record = job.pointers ? job.pointers->ExceptionRecord : nullptr;
    const CONTEXT* context = job.pointers ? job.pointers->ContextRecord : nullptr;

    // Addresses print with at least eight digits: the 32-bit program's lines as they always were, the
    // 64-bit build's with as many digits as the address needs.
    if (record) {
        unsigned long long address = (ULONG_PTR)record->ExceptionAddress;
        if (nt)
            file.Print("%s [0x%08X] at 0x%08I64X in Thread %u.\r\n", ExceptionName(record->ExceptionCode),
                       (unsigned)record->ExceptionCode, address, (unsigned)job.threadId);
        else
            file.Print("%s [0x%08X] at 0x%08I64X in Thread 0x%08X.\r\n", ExceptionName(record->ExceptionCode),
                       (unsigned)record->ExceptionCode, address, (unsigned)job.threadId);
        if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
            // 1 is a write, 8 an attempt to run code where there is none (a wild jump), 0 a read.
            ULONG_PTR kind = record->ExceptionInformation[0];
            file.Print("%s location 0x%08I64X.\r\n",
                       kind == 8 ? "Execute at"
                       : kind    ? "Write to"
                                 : "Read from",
                       (unsigned long long)record->ExceptionInformation[1]);
        }
    }
    if (record && context) {
#ifdef _WIN64
        file.Print("\r\nRAX=0x%016I64X, CS=0x%04X, RIP=0x%016I64X, Flags=0x%08X\r\n", context->Rax,
                   (unsigned)context->SegCs, context->Rip, (unsigned)context->EFlags);
        file.Print("RBX=0x%016I64X, SS=0x%04X, RSP=0x%016I64X, RBP=0x%016I64X\r\n", context->Rbx,
                   (unsigned)context->SegSs, context->Rsp, context->Rbp);
        file.Print("RCX=0x%016I64X, DS=0x%04X, RSI=0x%016I64X, FS=0x%04X\r\n", context->Rcx, (unsigned)context->SegDs,
                   context->Rsi, (unsigned)context->SegFs);
        file.Print("RDX=0x%016I64X, ES=0x%04X, RDI=0x%016I64X, GS=0x%04X\r\n", context->Rdx, (unsigned)context->SegEs,
                   context->Rdi, (unsigned)context->SegGs);
#else
        file.Print("\r\nEAX=0x%08X, CS=0x%04X, EIP=0x%08X, Flags=0x%08X\r\n", (unsigned)context->Eax,
                   (unsigned)context->SegCs, (unsigned)context->Eip, (unsigned)context->EFlags);
        file.Print("EBX=0x%08X, SS=0x%04X, ESP=0x%08X, EBP=0x%08X\r\n", (unsigned)context->Ebx,
                   (unsigned)context->SegSs, (unsigned)context->Esp, (unsigned)context->Ebp);
        file.Print("ECX=0x%08X, DS=0x%04X, ESI=0x%08X, FS=0x%04X\r\n", (unsigned)context->Ecx, (unsigned)context->SegDs,
                   (unsigned)context->Esi, (unsigned)context->SegFs);
        file.Print("EDX=0x%08X, ES=0x%04X, EDI=0x%08X, GS=0x%04X\r\n", (unsigned)context->Edx, (unsigned)context->SegEs,
                   (unsigned)context->Edi, (unsigned)context->SegGs);
#endif
    }
}

void CrashReporter::FormatPlatform(char* text, unsigned capacity) {
    PlatformText file = {text, capacity, 0};
    text[0] = 0;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    int nt = (version.dwPlatformId & VER_PLATFORM_WIN32_NT) != 0;
    for (unsigned processor = 0; processor < 256; processor++) {
        WString name, vendor, identifier;
        unsigned mhz = 0;
        if (!GetCpuInfo(name, &vendor, &identifier, &mhz, processor))
            break;
        char narrowName[MAX_PATH], narrowVendor[MAX_PATH], narrowIdentifier[MAX_PATH];
        WideToAnsi(name, narrowName, MAX_PATH);
        WideToAnsi(vendor, narrowVendor, MAX_PATH);
        WideToAnsi(identifier, narrowIdentifier, MAX_PATH);
        file.Print("\r\n%s %s %s %u Mhz", narrowName, narrowVendor, narrowIdentifier, mhz);
    }

    wchar_t osBuffer[MAX_PATH] = L"";
    unsigned long long classification = ClassifyOsExtended();
    char osName[MAX_PATH];
    WideToAnsi(FormatOsName(osBuffer, OsKindOf(classification), OsEditionOf(classification)), osName, MAX_PATH);
    unsigned build = nt ? (unsigned)version.dwBuildNumber : (unsigned)LOWORD(version.dwBuildNumber);
    file.Print("\r\n%s [%u.%u] Build %u %s\r\n", osName, (unsigned)version.dwMajorVersion,
               (unsigned)version.dwMinorVersion, build, version.szCSDVersion);
#ifdef _WIN64
    file.Print("x64");
#else
    file.Print(IsWow64() ? "x86 WOW64" : "x86");
#endif
    file.Print(" Unicode");
    if (IsWine())
        file.Print(" Wine");
    if (IsReactOs())
        file.Print(" ReactOS");
    file.Print("\r\n");
}

void CrashReporter::WriteDetails(ReportFile& file, const Job& job, SymbolLibrary* symbols, DumpLists* lists) {
    int nt = IsNt();
    const CONTEXT* context = job.pointers ? job.pointers->ContextRecord : nullptr;
    if (context && symbols && symbols->IsLoaded()) {
        file.Print("\r\nStack:\r\n");
        file.Flush();
        symbols->WriteStack(*context, job.thread.Get(), file);
        file.Flush();
    }

    if (!log.Text().IsEmpty()) {
        file.Print("\r\nLog:\r\n");
        PrintLog(file, log.Text());
    }

    if (lists && lists->ModuleCount()) {
        file.Print("\r\nModuleList:\r\n");
        file.Print("    Size TimeStamp                      CheckSum   ImageBase  Versions\r\n");
        for (unsigned i = 0; i < lists->ModuleCount(); i++) {
            const ModuleRecord& module = lists->Module(i);
            // Link time stamps count seconds from 1970; file times 100 ns from 1601.
            ULARGE_INTEGER stamp;
            stamp.QuadPart = (unsigned long long)module.timeStamp * 10000000ull + 116444736000000000ull;
            FILETIME utc = {stamp.LowPart, stamp.HighPart}, local;
            SYSTEMTIME time = {};
            FileTimeToLocalFileTime(&utc, &local);
            FileTimeToSystemTime(&local, &time);
            char date[32], clock[32];
            snprintf(date, sizeof(date), "%2u.%02u.%04u", time.wDay, time.wMonth, time.wYear);
            snprintf(clock, sizeof(clock), "%2u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
            // The path is converted here, with the ANSI code page like the rest of the report: the
            // runtime's own conversion of a wide argument gives up on the first character outside the
            // C locale and cuts the line there.
            char path[2 * MAX_PATH];
            WideToAnsi(module.path, path, sizeof(path));
            file.Print("%8u 0x%08X %10.10s %8.8s 0x%08X 0x%08I64X %4d.%04d.%05d.%06d %4d.%04d.%05d.%06d - %s\r\n",
                       (unsigned)module.imageSize, (unsigned)module.timeStamp, date, clock, (unsigned)module.checkSum,
                       module.imageBase, HIWORD(module.fileVersionMS), LOWORD(module.fileVersionMS),
                       HIWORD(module.fileVersionLS), LOWORD(module.fileVersionLS), HIWORD(module.productVersionMS),
                       LOWORD(module.productVersionMS), HIWORD(module.productVersionLS),
                       LOWORD(module.productVersionLS), path);
        }
    }

    if (lists && lists->ThreadCount()) {
        file.Print("\r\nThreadList:\r\n");
        file.Print("Id         StackBase  StackEnd   StartAddress\r\n");
        for (unsigned i = 0; i < lists->ThreadCount(); i++) {
            const ThreadRecord& thread = lists->Thread(i);
            char symbol[600] = "";
            if (!symbols || !thread.startAddress || !symbols->SymbolText(thread.startAddress, symbol, sizeof(symbol)))
                symbol[0] = 0;
            unsigned long long start = thread.startAddress;
            if (nt)
                file.Print("%-8u   0x%08I64X 0x%08I64X 0x%08I64X %s %s\r\n", (unsigned)thread.threadId,
                           thread.stackBase, thread.stackEnd, start, symbol, thread.name);
            else
                file.Print("0x%08X 0x%08I64X 0x%08I64X 0x%08I64X %s %s\r\n", (unsigned)thread.threadId,
                           thread.stackBase, thread.stackEnd, start, symbol, thread.name);
        }
    }
}
