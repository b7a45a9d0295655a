#include "crash/DumpLists.h"

DumpLists::DumpLists() {
    lock.Init();
}

DumpLists::~DumpLists() {
    Clear();
}

int DumpLists::Reserve() {
    if (pages)
        return 1;
    // Committed on first use only: a page of zeros costs nothing until it is written.
    SIZE_T size = sizeof(ModuleRecord) * ModuleCapacity + sizeof(ThreadRecord) * ThreadCapacity;
    pages = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!pages)
        return 0;
    moduleRecords = static_cast<ModuleRecord*>(pages);
    threadRecords = reinterpret_cast<ThreadRecord*>(moduleRecords + ModuleCapacity);
    return 1;
}

ModuleRecord* DumpLists::AddModule() {
    ModuleRecord* record = nullptr;
    lock.Enter();
    if (Reserve() && modules < ModuleCapacity)
        record = &moduleRecords[modules++];
    lock.Leave();
    return record;
}

ThreadRecord* DumpLists::AddThread() {
    ThreadRecord* record = nullptr;
    lock.Enter();
    if (Reserve() && threads < ThreadCapacity)
        record = &threadRecords[threads++];
    lock.Leave();
    return record;
}

void DumpLists::Clear() {
    lock.Enter();
    if (pages)
        VirtualFree(pages, 0, MEM_RELEASE);
    pages = nullptr;
    moduleRecords = nullptr;
    threadRecords = nullptr;
    modules = threads = 0;
    lock.Leave();
}
