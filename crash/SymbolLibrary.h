#pragma once
// The system's debug-help library, loaded only while a crash is reported: the minidump, the module and
// thread lists gathered while it is written, and the symbolic stack of the faulting thread.

#include "base/Library.h"

#include <windows.h>
#include <dbghelp.h>

class DumpLists;
struct ThreadRecord;
class ReportFile;

class SymbolLibrary {
public:
    SymbolLibrary() = default;
    ~SymbolLibrary() { Unload(); }
    SymbolLibrary(const SymbolLibrary&) = delete;
    SymbolLibrary& operator=(const SymbolLibrary&) = delete;

    // 1 when dbghelp.dll and all its entry points are there and the symbol handler is initialised.
    int Load();
    void Unload();
    int IsLoaded() const { return loaded; }
    // The symbol search path: the program's folder, then _NT_SYMBOL_PATH, _NT_ALTERNATE_SYMBOL_PATH and
    // SYSTEMROOT where set, separated by ";".
    static void SearchPath(wchar_t* path, unsigned capacity);

    // Writes the dump of this process with the crashing thread's exception (pointers may be null) and
    // fills the lists from the writer's notices. Called on a thread other than the crashing one.
    int WriteMinidump(HANDLE file, EXCEPTION_POINTERS* pointers, DWORD threadId, DumpLists& lists);
    // Appends the walk of the faulting thread's stack from the context to the report.
    void WriteStack(const CONTEXT& context, HANDLE thread, ReportFile& output);
    // "name", or "module@0xOffset"; 0 when nothing names the address.
    int SymbolText(unsigned long long address, char* text, unsigned capacity);

private:
    int ModuleName(unsigned long long address, char* name, unsigned capacity, unsigned long long* base);
    static BOOL CALLBACK OnDumpNotice(PVOID context, const PMINIDUMP_CALLBACK_INPUT input,
                                      PMINIDUMP_CALLBACK_OUTPUT output);
    void ReadThreadDetails(HANDLE thread, ThreadRecord* record);
    void ListThreads(DumpLists& lists);

    typedef BOOL(WINAPI* MiniDumpWriteDumpFn)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                              PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
    typedef BOOL(WINAPI* SymInitializeFn)(HANDLE, PCSTR, BOOL);
    typedef DWORD(WINAPI* SymSetOptionsFn)(DWORD);
    typedef BOOL(WINAPI* SymGetSymFromAddr64Fn)(HANDLE, DWORD64, PDWORD64, PIMAGEHLP_SYMBOL64);
    typedef BOOL(WINAPI* SymFromAddrFn)(HANDLE, DWORD64, PDWORD64, PSYMBOL_INFO);
    typedef BOOL(WINAPI* SymGetModuleInfo64Fn)(HANDLE, DWORD64, PIMAGEHLP_MODULE64);
    typedef BOOL(WINAPI* StackWalk64Fn)(DWORD, HANDLE, HANDLE, LPSTACKFRAME64, PVOID, PREAD_PROCESS_MEMORY_ROUTINE64,
                                        PFUNCTION_TABLE_ACCESS_ROUTINE64, PGET_MODULE_BASE_ROUTINE64,
                                        PTRANSLATE_ADDRESS_ROUTINE64);
    typedef BOOL(WINAPI* SymGetLineFromAddr64Fn)(HANDLE, DWORD64, PDWORD, PIMAGEHLP_LINE64);
    typedef BOOL(WINAPI* SymCleanupFn)(HANDLE);
    typedef LONG(WINAPI* NtQueryInformationThreadFn)(HANDLE, int, PVOID, ULONG, PULONG);

    Library dbghelp;
    Library ntdll;
    int loaded = 0;
    MiniDumpWriteDumpFn miniDumpWriteDump = nullptr;
    SymInitializeFn symInitialize = nullptr;
    SymSetOptionsFn symSetOptions = nullptr;
    SymGetSymFromAddr64Fn symGetSymFromAddr64 = nullptr;
    SymFromAddrFn symFromAddr = nullptr;
    SymGetModuleInfo64Fn symGetModuleInfo64 = nullptr;
    StackWalk64Fn stackWalk64 = nullptr;
    PFUNCTION_TABLE_ACCESS_ROUTINE64 symFunctionTableAccess64 = nullptr;
    PGET_MODULE_BASE_ROUTINE64 symGetModuleBase64 = nullptr;
    SymGetLineFromAddr64Fn symGetLineFromAddr64 = nullptr;
    SymCleanupFn symCleanup = nullptr;
    NtQueryInformationThreadFn ntQueryInformationThread = nullptr;
    DumpLists* filling = nullptr;
};
