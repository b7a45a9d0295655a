#pragma once
// A critical section that does nothing until initialised, so a section that was never set up (or was
// already deleted) can be entered and left harmlessly.

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() = default;
    ~CriticalSection() { Delete(); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Init();
    void Delete();
    int Enter();
    void Leave();

private:
    int initialised = 0;
    CRITICAL_SECTION section;
};
