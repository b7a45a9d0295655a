#include "base/QuerySystemInformation.h"

SystemInformationEntry::SystemInformationEntry(const wchar_t* libraryName) {
    library.Load(libraryName);
}

LONG SystemInformationEntry::Query(ULONG infoClass, void* buffer, ULONG length, ULONG* returnedLength) {
    if (!lookedUp) {
        // Two threads may both look the name up; they find the same address, so the second store is harmless.
        query = library.Get<QueryFn>("NtQuerySystemInformation");
        InterlockedExchange(&lookedUp, 1);
    }
    if (!query)
        return STATUS_PROCEDURE_NOT_FOUND;
    return query(infoClass, buffer, length, returnedLength);
}

LONG QuerySystemInformation(ULONG infoClass, void* buffer, ULONG length, ULONG* returnedLength) {
    static SystemInformationEntry ntdll;
    return ntdll.Query(infoClass, buffer, length, returnedLength);
}
