#include "crash/SymbolLibrary.h"

#include "crash/DumpLists.h"
#include "crash/ReportFile.h"
#include "base/KernelHandle.h"

#include <tlhelp32.h>

#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

const int ThreadBasicInformation = 0;
const int ThreadQuerySetWin32StartAddress = 9;
// A damaged stack can lead the walk round in a circle of several frames; no real stack is this deep.
const unsigned MaxFrames = 1024;

struct ThreadBasic {
    LONG exitStatus;
    PVOID tebBase;
    PVOID clientProcess;
    PVOID clientThread;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};

#ifdef _WIN64
const DWORD Machine = IMAGE_FILE_MACHINE_AMD64;
#else
const DWORD Machine = IMAGE_FILE_MACHINE_I386;
#endif

// Reads from this process's memory without faulting where the address is bad.
int ReadMemory(const void* address, void* target, SIZE_T size) {
    SIZE_T read = 0;
    return address && ReadProcessMemory(GetCurrentProcess(), address, target, size, &read) && read == size;
}

// The fixed version block of a module's file, for a writer that left the notice's copy empty.
void ReadFileVersion(ModuleRecord* record) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(record->path, &handle);
    if (size == 0 || size > 1 << 20)
        return;
    void* data = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!data)
        return;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoW(record->path, 0, size, data) && VerQueryValueW(data, L"\\", (void**)&info, &length) &&
        info && length >= sizeof(*info)) {
        record->fileVersionMS = info->dwFileVersionMS;
        record->fileVersionLS = info->dwFileVersionLS;
        record->productVersionMS = info->dwProductVersionMS;
        record->productVersionLS = info->dwProductVersionLS;
    }
    VirtualFree(data, 0, MEM_RELEASE);
}

void Append(wchar_t* path, unsigned capacity, const wchar_t* text) {
    size_t length = wcslen(path);
    if (length + wcslen(text) + 1 <= capacity)
        wcscat(path, text);
}

} // namespace

void SymbolLibrary::SearchPath(wchar_t* path, unsigned capacity) {
    path[0] = 0;
    wchar_t value[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, value, MAX_PATH);
    if (length && length < MAX_PATH) {
        wchar_t* slash = wcsrchr(value, L'\\');
        if (slash) {
            slash[1] = 0;
            Append(path, capacity, value);
            Append(path, capacity, L";");
        }
    }
    static const wchar_t* const variables[] = {L"_NT_SYMBOL_PATH", L"_NT_ALTERNATE_SYMBOL_PATH", L"SYSTEMROOT"};
    for (const wchar_t* variable : variables) {
        length = GetEnvironmentVariableW(variable, value, MAX_PATH);
        // Longer than the buffer: left out rather than cut into a wrong folder.
        if (length == 0 || length >= MAX_PATH)
            continue;
        Append(path, capacity, value);
        Append(path, capacity, L";");
    }
    size_t total = wcslen(path);
    if (total)
        path[total - 1] = 0;
}

int SymbolLibrary::Load() {
    Unload();
    // Library takes it from the system folder only: a dbghelp.dll beside the program is not loaded.
    if (!dbghelp.Load(L"dbghelp.dll"))
        return 0;
    miniDumpWriteDump = dbghelp.Get<MiniDumpWriteDumpFn>("MiniDumpWriteDump");
    symInitialize = dbghelp.Get<SymInitializeFn>("SymInitialize");
    symSetOptions = dbghelp.Get<SymSetOptionsFn>("SymSetOptions");
    symGetSymFromAddr64 = dbghelp.Get<SymGetSymFromAddr64Fn>("SymGetSymFromAddr64");
    symFromAddr = dbghelp.Get<SymFromAddrFn>("SymFromAddr");
    symGetModuleInfo64 = dbghelp.Get<SymGetModuleInfo64Fn>("SymGetModuleInfo64");
    stackWalk64 = dbghelp.Get<StackWalk64Fn>("StackWalk64");
    symFunctionTableAccess64 = dbghelp.Get<PFUNCTION_TABLE_ACCESS_ROUTINE64>("SymFunctionTableAccess64");
    symGetModuleBase64 = dbghelp.Get<PGET_MODULE_BASE_ROUTINE64>("SymGetModuleBase64");
    symGetLineFromAddr64 = dbghelp.Get<SymGetLineFromAddr64Fn>("SymGetLineFromAddr64");
    symCleanup = dbghelp.Get<SymCleanupFn>("SymCleanup");
    if (!miniDumpWriteDump || !symInitialize || !symSetOptions || !symGetSymFromAddr64 || !symFromAddr ||
        !symGetModuleInfo64 || !stackWalk64 || !symFunctionTableAccess64 || !symGetModuleBase64 ||
        !symGetLineFromAddr64) {
        Unload();
        return 0;
    }
    if (ntdll.Load(L"ntdll.dll"))
        ntQueryInformationThread = ntdll.Get<NtQueryInformationThreadFn>("NtQueryInformationThread");

    symSetOptions(SYMOPT_LOAD_LINES);
    wchar_t path[1200];
    SearchPath(path, sizeof(path) / sizeof(path[0]));
    char narrowPath[2400] = "";
    WideCharToMultiByte(CP_ACP, 0, path, -1, narrowPath, sizeof(narrowPath), nullptr, nullptr);
    if (!symInitialize(GetCurrentProcess(), narrowPath, TRUE)) {
        Unload();
        return 0;
    }
    loaded = 1;
    return 1;
}

void SymbolLibrary::Unload() {
    // The symbol handler keeps open files and memory of its own until it is cleaned up.
    if (loaded && symCleanup)
        symCleanup(GetCurrentProcess());
    loaded = 0;
    ntQueryInformationThread = nullptr;
    ntdll.Free();
    dbghelp.Free();
}

void SymbolLibrary::ReadThreadDetails(HANDLE thread, ThreadRecord* record) {
    record->name[0] = 0;
    record->startAddress = 0;
    if (!ntQueryInformationThread || !thread)
        return;
    // The pointer-sized answer: four bytes are refused as a length mismatch on 64-bit Windows.
    PVOID start = nullptr;
    if (ntQueryInformationThread(thread, ThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr) >= 0)
        record->startAddress = (ULONG_PTR)start;
    // The name is the text the thread left in its information block's user pointer (NT_TIB's
    // ArbitraryUserPointer). Both the pointer and the text belong to a thread that may have been
    // damaged: they are read without trusting them, and the text is cut to the record's room.
    ThreadBasic basic = {};
    if (ntQueryInformationThread(thread, ThreadBasicInformation, &basic, sizeof(basic), nullptr) < 0 || !basic.tebBase)
        return;
    const char* block = static_cast<const char*>(basic.tebBase);
    char* text = nullptr;
    if (!ReadMemory(block + offsetof(NT_TIB, ArbitraryUserPointer), &text, sizeof(text)) || !text)
        return;
    unsigned length = 0;
    while (length < sizeof(record->name) - 1 && ReadMemory(text + length, &record->name[length], 1) &&
           record->name[length])
        length++;
    record->name[length] = 0;
}

BOOL CALLBACK SymbolLibrary::OnDumpNotice(PVOID context, const PMINIDUMP_CALLBACK_INPUT input,
                                          PMINIDUMP_CALLBACK_OUTPUT) {
    SymbolLibrary* self = static_cast<SymbolLibrary*>(context);
    if (!self || !self->filling || !input)
        return TRUE;
    if (input->CallbackType == ModuleCallback) {
        ModuleRecord* record = self->filling->AddModule();
        if (!record)
            return TRUE;
        const MINIDUMP_MODULE_CALLBACK& module = input->Module;
        record->path[0] = 0;
        if (module.FullPath) {
            wcsncpy(record->path, module.FullPath, MAX_PATH - 1);
            record->path[MAX_PATH - 1] = 0;
        }
        // A 32-bit dbghelp sign-extends addresses above 2 GB.
        record->imageBase = module.BaseOfImage;
        if ((record->imageBase >> 32) == 0xFFFFFFFFu)
            record->imageBase &= 0xFFFFFFFFu;
        record->imageSize = module.SizeOfImage;
        record->checkSum = module.CheckSum;
        record->timeStamp = module.TimeDateStamp;
        record->fileVersionMS = module.VersionInfo.dwFileVersionMS;
        record->fileVersionLS = module.VersionInfo.dwFileVersionLS;
        record->productVersionMS = module.VersionInfo.dwProductVersionMS;
        record->productVersionLS = module.VersionInfo.dwProductVersionLS;
        // Wine's writer hands out the notice with the version block left empty (no signature).
        if (module.VersionInfo.dwSignature != VS_FFI_SIGNATURE)
            ReadFileVersion(record);
    } else if (input->CallbackType == ThreadCallback) {
        ThreadRecord* record = self->filling->AddThread();
        if (!record)
            return TRUE;
        record->threadId = input->Thread.ThreadId;
        record->stackBase = input->Thread.StackBase;
        record->stackEnd = input->Thread.StackEnd;
        // Wine's notice carries a handle that answers no queries: the thread is opened by its identifier.
        KernelHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, record->threadId));
        self->ReadThreadDetails(thread.Valid() ? thread.Get() : input->Thread.ThreadHandle, record);
    }
    return TRUE;
}

int SymbolLibrary::WriteMinidump(HANDLE file, EXCEPTION_POINTERS* pointers, DWORD threadId, DumpLists& lists) {
    if (!loaded)
        return 0;
    MINIDUMP_EXCEPTION_INFORMATION exception = {};
    exception.ThreadId = threadId;
    exception.ExceptionPointers = pointers;
    exception.ClientPointers = FALSE;
    MINIDUMP_CALLBACK_INFORMATION callback = {};
    callback.CallbackRoutine = OnDumpNotice;
    callback.CallbackParam = this;
    filling = &lists;
    BOOL written = miniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                     pointers ? &exception : nullptr, nullptr, &callback);
    filling = nullptr;
    // Should a writer report no threads to the callback, they are listed from the system's snapshot of
    // the process's threads, with the stack bounds from their information blocks.
    if (lists.ThreadCount() == 0)
        ListThreads(lists);
    return written ? 1 : 0;
}

void SymbolLibrary::ListThreads(DumpLists& lists) {
    KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot.Valid())
        return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    DWORD process = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != process)
            continue;
        ThreadRecord* record = lists.AddThread();
        if (!record)
            break;
        record->threadId = entry.th32ThreadID;
        record->stackBase = record->stackEnd = 0;
        KernelHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        ThreadBasic basic = {};
        NT_TIB block = {};
        if (thread.Valid() && ntQueryInformationThread &&
            ntQueryInformationThread(thread.Get(), ThreadBasicInformation, &basic, sizeof(basic), nullptr) >= 0 &&
            ReadMemory(basic.tebBase, &block, sizeof(block))) {
            record->stackBase = (ULONG_PTR)block.StackBase;
            record->stackEnd = (ULONG_PTR)block.StackLimit;
        }
        ReadThreadDetails(thread.Get(), record);
    }
}

int SymbolLibrary::ModuleName(unsigned long long address, char* name, unsigned capacity, unsigned long long* base) {
    name[0] = 0;
    *base = 0;
    IMAGEHLP_MODULE64 module = {};
    module.SizeOfStruct = sizeof(module);
    if (symGetModuleInfo64(GetCurrentProcess(), address, &module)) {
        snprintf(name, capacity, "%s", module.ModuleName);
        *base = module.BaseOfImage;
        return 1;
    }
    *base = symGetModuleBase64(GetCurrentProcess(), address);
    if (!*base)
        return 0;
    char file[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA((HMODULE)(ULONG_PTR)*base, file, MAX_PATH);
    if (length && length < MAX_PATH) {
        const char* slash = strrchr(file, '\\');
        snprintf(name, capacity, "%s", slash ? slash + 1 : file);
    }
    return 1;
}

int SymbolLibrary::SymbolText(unsigned long long address, char* text, unsigned capacity) {
    if (!loaded || !capacity)
        return 0;
    text[0] = 0;
    HANDLE process = GetCurrentProcess();
    union {
        SYMBOL_INFO info;
        char room[sizeof(SYMBOL_INFO) + 412];
    } symbol = {};
    symbol.info.SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol.info.MaxNameLen = 412;
    DWORD64 displacement = 0;
    if (symFromAddr(process, address, &displacement, &symbol.info) && symbol.info.Name[0]) {
        snprintf(text, capacity, "%s", symbol.info.Name);
        return 1;
    }
    union {
        IMAGEHLP_SYMBOL64 info;
        char room[sizeof(IMAGEHLP_SYMBOL64) + 476];
    } older = {};
    older.info.SizeOfStruct = sizeof(IMAGEHLP_SYMBOL64);
    older.info.MaxNameLength = 476;
    if (symGetSymFromAddr64(process, address, &displacement, &older.info) && older.info.Name[0]) {
        snprintf(text, capacity, "%s", older.info.Name);
        return 1;
    }
    char module[MAX_PATH];
    unsigned long long base = 0;
    if (!ModuleName(address, module, sizeof(module), &base))
        return 0;
    unsigned long long offset = address >= base ? address - base : address;
    if (module[0])
        snprintf(text, capacity, "%s@0x%llX", module, offset);
    else
        snprintf(text, capacity, "0x%llX@0x%llX", base, offset);
    return 1;
}

void SymbolLibrary::WriteStack(const CONTEXT& faultContext, HANDLE thread, ReportFile& output) {
    if (!loaded)
        return;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    // The walk rewrites the context it is given; the exception's own record must stay as it was for
    // whatever handles the exception after the report.
    CONTEXT context = faultContext;
    STACKFRAME64 frame = {};
#ifdef _WIN64
    frame.AddrPC.Offset = context.Rip;
    frame.AddrFrame.Offset = context.Rbp;
    frame.AddrStack.Offset = context.Rsp;
#else
    frame.AddrPC.Offset = context.Eip;
    frame.AddrFrame.Offset = context.Ebp;
    frame.AddrStack.Offset = context.Esp;
#endif
    // The stack pointer is given too: without it frames of functions built without a frame pointer,
    // and every frame on x64, cannot be walked.
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrFrame.Mode = AddrModeFlat;
    frame.AddrStack.Mode = AddrModeFlat;
    HANDLE process = GetCurrentProcess();
    DWORD64 previous = 0;
    for (unsigned count = 0; count < MaxFrames; count++) {
        if (!stackWalk64(Machine, process, thread, &frame, &context, nullptr, symFunctionTableAccess64,
                         symGetModuleBase64, nullptr))
            break;
        DWORD64 pc = frame.AddrPC.Offset;
        if (count > 0 && pc == previous)
            break;
        previous = pc;
        // The shared user page: system call stubs, with nothing to say.
        if ((pc & 0xFFFF0000u) != 0x7FFE0000u) {
            char symbol[600];
            if (!SymbolText(pc, symbol, sizeof(symbol)))
                snprintf(symbol, sizeof(symbol), "0x%08llX", (unsigned long long)pc);
            IMAGEHLP_LINE64 line = {};
            line.SizeOfStruct = sizeof(line);
            DWORD lineDisplacement = 0;
            int hasLine = symGetLineFromAddr64(process, pc, &lineDisplacement, &line) && line.FileName;
            char module[MAX_PATH] = "";
            unsigned long long base = 0;
            if (!hasLine)
                ModuleName(pc, module, sizeof(module), &base);
            unsigned long long p0 = (DWORD)frame.Params[0], p1 = (DWORD)frame.Params[1];
            unsigned long long p2 = (DWORD)frame.Params[2], p3 = (DWORD)frame.Params[3];
            // Each frame ends with its address: Microsoft's dbghelp reads none of MinGW's debug information,
            // so on Windows the names are mostly missing, and tools/symbolize finds them from the address.
            if (hasLine)
                output.Print("%s(0x%I64X,0x%I64X,0x%I64X,0x%I64X) - Line %u in %s [0x%08I64X]\r\n", symbol, p0, p1, p2,
                             p3, (unsigned)line.LineNumber, line.FileName, (unsigned long long)pc);
            else if (module[0])
                output.Print("%s:%s(0x%I64X,0x%I64X,0x%I64X,0x%I64X) [0x%08I64X]\r\n", module, symbol, p0, p1, p2, p3,
                             (unsigned long long)pc);
            else
                output.Print("%s(0x%I64X,0x%I64X,0x%I64X,0x%I64X) [0x%08I64X]\r\n", symbol, p0, p1, p2, p3,
                             (unsigned long long)pc);
        }
        if (frame.AddrReturn.Offset == 0)
            break;
    }
    SetErrorMode(oldMode);
}
