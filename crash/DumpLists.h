#pragma once
// The modules and threads the minidump writer reports, kept for the text report's two lists.
// The records live in one block of pages of their own, not on the heap: the heap may be what broke.

#include "base/CriticalSection.h"

#include <windows.h>

struct ModuleRecord {
    wchar_t path[MAX_PATH];
    unsigned long long imageBase;
    DWORD imageSize;
    DWORD checkSum;
    DWORD timeStamp;
    DWORD fileVersionMS;
    DWORD fileVersionLS;
    DWORD productVersionMS;
    DWORD productVersionLS;
};

struct ThreadRecord {
    DWORD threadId;
    unsigned long long stackBase;
    unsigned long long stackEnd;
    char name[100];
    ULONG_PTR startAddress;
};

class DumpLists {
public:
    static const unsigned ModuleCapacity = 1024;
    static const unsigned ThreadCapacity = 1024;

    DumpLists();
    ~DumpLists();
    DumpLists(const DumpLists&) = delete;
    DumpLists& operator=(const DumpLists&) = delete;

    // Records filled by the caller; null when the list is full or its pages could not be had.
    ModuleRecord* AddModule();
    ThreadRecord* AddThread();
    unsigned ModuleCount() const { return modules; }
    unsigned ThreadCount() const { return threads; }
    const ModuleRecord& Module(unsigned index) const { return moduleRecords[index]; }
    const ThreadRecord& Thread(unsigned index) const { return threadRecords[index]; }
    // Drops both lists and their pages.
    void Clear();

private:
    int Reserve();

    CriticalSection lock;
    void* pages = nullptr;
    ModuleRecord* moduleRecords = nullptr;
    ThreadRecord* threadRecords = nullptr;
    unsigned modules = 0;
    unsigned threads = 0;
};
