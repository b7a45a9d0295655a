#pragma once
// NtQuerySystemInformation reached at run time, so that the program starts on systems whose ntdll.dll
// lacks it: the query then answers STATUS_PROCEDURE_NOT_FOUND.

#include "base/Library.h"

#include <windows.h>

#ifndef STATUS_PROCEDURE_NOT_FOUND
#define STATUS_PROCEDURE_NOT_FOUND ((LONG)0xC00000FFL)
#endif

// The library is loaded when the object is made; the entry point is looked up on the first query.
class SystemInformationEntry {
public:
    // The library to ask; "ntdll.dll" for the system's own (another name lets a test see the fallback).
    explicit SystemInformationEntry(const wchar_t* libraryName = L"ntdll.dll");
    SystemInformationEntry(const SystemInformationEntry&) = delete;
    SystemInformationEntry& operator=(const SystemInformationEntry&) = delete;

    // The NTSTATUS of NtQuerySystemInformation for the class; returnedLength may be null.
    LONG Query(ULONG infoClass, void* buffer, ULONG length, ULONG* returnedLength);

private:
    typedef LONG(NTAPI* QueryFn)(ULONG, PVOID, ULONG, PULONG);

    Library library;
    QueryFn query = nullptr;
    volatile LONG lookedUp = 0;
};

// The same through one entry shared by the whole process.
LONG QuerySystemInformation(ULONG infoClass, void* buffer, ULONG length, ULONG* returnedLength);
