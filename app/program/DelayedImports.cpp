// The shell, COM, automation, version and multimedia libraries are bound when one of their functions is
// first called, not when the process starts. In once mode none of them is needed before the menu is on
// screen, and loading them (with the libraries they load in turn) took 10 to 20 ms of the 110 from the
// start to the menu under Wine. This file takes the place of their import libraries in Veltrix.exe only
// (the tests and tools link the import libraries); tools/check-artefacts checks that the program imports
// none of them, so a function missing from the table below shows there.
//
// Calls to an imported function go through a pointer named after it (__imp_NAME, which the compiler's
// dllimport declarations in the system headers refer to). Here each pointer first aims at a thunk of the
// function's own type, which loads the library from the system folder, aims the pointer at the real
// function and calls it; every later call goes straight there. A library or function that cannot be
// found raises the loader's own exception codes for delay-loaded imports, as a missing import would have
// stopped the process before: the crash report then names it.
#include "base/Library.h"

#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <type_traits>

namespace {

enum DelayedLibrary { SHELL32, OLE32, OLEAUT32, WINMM, VERSION_DLL, DelayedLibraryCount };

const wchar_t* const LibraryNames[DelayedLibraryCount] = {L"shell32.dll", L"ole32.dll", L"oleaut32.dll", L"winmm.dll",
                                                          L"version.dll"};

// The codes a missing delay-loaded library or function raises (VcppException(ERROR_SEVERITY_ERROR,
// ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND)), which debuggers and crash tools know.
const DWORD LibraryNotFound = 0xC06D007E;
const DWORD FunctionNotFound = 0xC06D007F;

HMODULE libraries[DelayedLibraryCount];

struct DelayedImport {
    DelayedLibrary library;
    const char* name;
    void** pointer;
};

HMODULE BindLibrary(DelayedLibrary which) {
    HMODULE module = static_cast<HMODULE>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&libraries[which]), nullptr, nullptr));
    if (module)
        return module;
    // From the system folder only: a DLL of the same name planted beside the program is never run.
    Library library(LibraryNames[which]);
    module = library.Detach();
    if (!module) {
        ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(LibraryNames[which]);
        RaiseException(LibraryNotFound, EXCEPTION_NONCONTINUABLE, 1, &argument);
    }
    // Two threads that both load it only raise its reference count; it is never freed.
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&libraries[which]), module);
    return module;
}

void* Bind(const DelayedImport& import) {
    void* function = reinterpret_cast<void*>(GetProcAddress(BindLibrary(import.library), import.name));
    if (!function) {
        ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(import.name);
        RaiseException(FunctionNotFound, EXCEPTION_NONCONTINUABLE, 1, &argument);
    }
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(import.pointer), function);
    return function;
}

template <typename F> struct Thunk;

template <typename R, typename... A> struct Thunk<R(WINAPI*)(A...)> {
    // The bytes of arguments a 32-bit stdcall function takes off the stack, part of its decorated name;
    // a reference (REFIID) is passed as a pointer.
    static constexpr int ArgumentBytes =
        (0 + ... + (int)(((std::is_reference<A>::value ? sizeof(void*) : sizeof(A)) + 3) / 4 * 4));

    template <const DelayedImport& import> static R WINAPI Call(A... arguments) {
        return reinterpret_cast<R(WINAPI*)(A...)>(Bind(import))(arguments...);
    }
};

} // namespace

// The import library's names: the pointer, and the function itself for callers whose declaration lacks
// dllimport (version.dll's), a jump through the pointer.
#ifdef _WIN64
#define POINTER_NAME(function, bytes) "__imp_" #function
#define FUNCTION_NAME(function, bytes) #function
#define JUMP_THROUGH(function, bytes) "jmp *" POINTER_NAME(function, bytes) "(%rip)"
#else
#define POINTER_NAME(function, bytes) "__imp__" #function "@" #bytes
#define FUNCTION_NAME(function, bytes) "_" #function "@" #bytes
#define JUMP_THROUGH(function, bytes) "jmp *" POINTER_NAME(function, bytes)
#endif

#define DELAYED_IMPORT(library, function, bytes)                                                                       \
    extern "C" void* delayed_##function asm(POINTER_NAME(function, bytes));                                            \
    namespace {                                                                                                        \
    const DelayedImport import_##function = {library, #function, &delayed_##function};                                 \
    }                                                                                                                  \
    void* delayed_##function = reinterpret_cast<void*>(&Thunk<decltype(&::function)>::Call<import_##function>);        \
    static_assert(sizeof(void*) == 8 || Thunk<decltype(&::function)>::ArgumentBytes == bytes,                          \
                  "the argument bytes of " #function);                                                                 \
    asm(".text\n\t.globl " FUNCTION_NAME(function, bytes) "\n" FUNCTION_NAME(function, bytes) ":\n\t" JUMP_THROUGH(    \
        function, bytes) "\n");

DELAYED_IMPORT(SHELL32, ExtractIconExW, 20)
DELAYED_IMPORT(SHELL32, ILCombine, 8)
DELAYED_IMPORT(SHELL32, SHAppBarMessage, 8)
DELAYED_IMPORT(SHELL32, SHBindToParent, 16)
DELAYED_IMPORT(SHELL32, SHChangeNotifyDeregister, 4)
DELAYED_IMPORT(SHELL32, SHChangeNotifyRegister, 24)
DELAYED_IMPORT(SHELL32, SHCreateItemFromIDList, 12)
DELAYED_IMPORT(SHELL32, SHCreateItemFromParsingName, 16)
DELAYED_IMPORT(SHELL32, SHDefExtractIconW, 24)
DELAYED_IMPORT(SHELL32, SHGetDesktopFolder, 4)
DELAYED_IMPORT(SHELL32, SHGetFileInfoW, 20)
DELAYED_IMPORT(SHELL32, SHGetFolderPathW, 20)
DELAYED_IMPORT(SHELL32, SHGetImageList, 12)
DELAYED_IMPORT(SHELL32, SHGetKnownFolderIDList, 16)
DELAYED_IMPORT(SHELL32, SHGetMalloc, 4)
DELAYED_IMPORT(SHELL32, SHGetPropertyStoreFromParsingName, 20)
DELAYED_IMPORT(SHELL32, SHGetPathFromIDListW, 8)
DELAYED_IMPORT(SHELL32, SHGetSpecialFolderLocation, 12)
DELAYED_IMPORT(SHELL32, SHParseDisplayName, 20)
DELAYED_IMPORT(SHELL32, SHQueryUserNotificationState, 4)
DELAYED_IMPORT(SHELL32, ShellExecuteExW, 4)
DELAYED_IMPORT(SHELL32, Shell_NotifyIconW, 8)

DELAYED_IMPORT(OLE32, CLSIDFromProgID, 8)
DELAYED_IMPORT(OLE32, CoAllowSetForegroundWindow, 8)
DELAYED_IMPORT(OLE32, CoCreateGuid, 4)
DELAYED_IMPORT(OLE32, CoCreateInstance, 20)
DELAYED_IMPORT(OLE32, CoInitialize, 4)
DELAYED_IMPORT(OLE32, CoInitializeEx, 8)
DELAYED_IMPORT(OLE32, CoTaskMemFree, 4)
DELAYED_IMPORT(OLE32, CreateBindCtx, 8)
DELAYED_IMPORT(OLE32, CoUninitialize, 0)
DELAYED_IMPORT(OLE32, CreateStreamOnHGlobal, 12)
DELAYED_IMPORT(OLE32, GetHGlobalFromStream, 8)
DELAYED_IMPORT(OLE32, OleRun, 4)
DELAYED_IMPORT(OLE32, PropVariantClear, 4)
DELAYED_IMPORT(OLE32, StringFromGUID2, 12)

DELAYED_IMPORT(OLEAUT32, OleCreatePictureIndirect, 16)
DELAYED_IMPORT(OLEAUT32, SafeArrayAccessData, 8)
DELAYED_IMPORT(OLEAUT32, SafeArrayCreateVector, 12)
DELAYED_IMPORT(OLEAUT32, SafeArrayDestroy, 4)
DELAYED_IMPORT(OLEAUT32, SafeArrayGetDim, 4)
DELAYED_IMPORT(OLEAUT32, SafeArrayGetLBound, 12)
DELAYED_IMPORT(OLEAUT32, SafeArrayPtrOfIndex, 12)
DELAYED_IMPORT(OLEAUT32, SafeArrayUnaccessData, 4)
DELAYED_IMPORT(OLEAUT32, SysAllocString, 4)
DELAYED_IMPORT(OLEAUT32, SysFreeString, 4)
DELAYED_IMPORT(OLEAUT32, SysStringLen, 4)
DELAYED_IMPORT(OLEAUT32, VariantChangeType, 16)
DELAYED_IMPORT(OLEAUT32, VariantClear, 4)
DELAYED_IMPORT(OLEAUT32, VariantInit, 4)

DELAYED_IMPORT(WINMM, timeGetTime, 0)

DELAYED_IMPORT(VERSION_DLL, GetFileVersionInfoSizeW, 8)
DELAYED_IMPORT(VERSION_DLL, GetFileVersionInfoW, 16)
DELAYED_IMPORT(VERSION_DLL, VerQueryValueW, 16)
