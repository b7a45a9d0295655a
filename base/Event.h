#pragma once
// A Win32 event; the handle is closed on release when this object created it.

#include <windows.h>

class Event {
public:
    Event() = default;
    ~Event() { Close(); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    int Create(int manualReset, int initiallySignalled, const wchar_t* name, int global);
    int Set() { return handle && SetEvent(handle); }
    int Reset() { return handle && ResetEvent(handle); }
    void Close();
    int Wait(DWORD timeout, int* timedOut, const HANDLE* second);
    HANDLE Handle() const { return handle; }

private:
    int owned = 0;
    HANDLE handle = nullptr;
};
