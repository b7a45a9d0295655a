#pragma once
// WOW64 file-system redirection turned off for one block and restored when it ends. A 32-bit program on
// 64-bit Windows otherwise sees SysWOW64 wherever it names System32.

#include "sysinfo/OsVersion.h"

class Wow64RedirectionOff {
public:
    Wow64RedirectionOff() { disabled = SetWow64Redirection(1, &state); }
    ~Wow64RedirectionOff() {
        // Restored at once: the loader needs redirection to find the 32-bit system libraries of any
        // later load on this thread.
        if (disabled)
            SetWow64Redirection(0, &state);
    }
    Wow64RedirectionOff(const Wow64RedirectionOff&) = delete;
    Wow64RedirectionOff& operator=(const Wow64RedirectionOff&) = delete;

private:
    void* state = nullptr;
    int disabled = 0;
};
