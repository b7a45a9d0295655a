#pragma once
// WOW64 file-system redirection turned on for one block, whatever the thread's state before, and that
// state restored when it ends: for a library loaded while a caller has redirection off
// (Wow64RedirectionOff), which the loader would otherwise look for among the 64-bit system files.

#include "sysinfo/OsVersion.h"

class Wow64RedirectionOn {
public:
    Wow64RedirectionOn() { forced = ForceWow64Redirection(&state); }
    ~Wow64RedirectionOn() {
        if (forced)
            SetWow64Redirection(0, &state);
    }
    Wow64RedirectionOn(const Wow64RedirectionOn&) = delete;
    Wow64RedirectionOn& operator=(const Wow64RedirectionOn&) = delete;

private:
    void* state = nullptr;
    int forced = 0;
};
