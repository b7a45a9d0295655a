#include "base/CriticalSection.h"

void CriticalSection::Init() {
    if (initialised)
        return;
    InitializeCriticalSection(&section);
    initialised = 1;
}

void CriticalSection::Delete() {
    if (!initialised)
        return;
    DeleteCriticalSection(&section);
    initialised = 0;
}

int CriticalSection::Enter() {
    if (!initialised)
        return 0;
    EnterCriticalSection(&section);
    return 1;
}

void CriticalSection::Leave() {
    if (initialised)
        LeaveCriticalSection(&section);
}
