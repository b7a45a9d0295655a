#pragma once
// A Win32 event; the handle is closed on release when this object created it.

#include <windows.h>

class Event {
public:
    Event() = default;
    ~Event() { Close(); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // global 1 with a name: the event lives in the global namespace ("Global\" + name), open to every
    // user, so processes of other logged-on users see it.
    int Create(int manualReset, int initiallySignalled, const wchar_t* name, int global);
    int Set() { return handle && SetEvent(handle); }
    int Reset() { return handle && ResetEvent(handle); }
    void Close();
    // Alertable wait for the event or the second handle: 1 when one is signalled.
    int Wait(DWORD timeout, int* timedOut, const HANDLE* second);
    // The same, keeping this thread's window messages flowing; 0 on timeout or when the application quits.
    int WaitPumping(DWORD timeout, const HANDLE* second);
    HANDLE Handle() const { return handle; }

private:
    int owned = 0;
    HANDLE handle = nullptr;
};
