#pragma once
// A Win32 event, closed with the object.

#include "base/KernelHandle.h"

#include <windows.h>

class Event {
public:
    Event() = default;
    ~Event() { Close(); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    enum ResetKind { AUTO_RESET = 0, MANUAL_RESET = 1 };
    enum StartState { UNSIGNALLED = 0, SIGNALLED = 1 };
    // GLOBAL_NAME with a name: the event lives in the global namespace ("Global\" + name), open to every
    // user, so processes of other logged-on users see it.
    enum NameScope { SESSION_NAME = 0, GLOBAL_NAME = 1 };

    int Create(ResetKind reset, StartState start, const wchar_t* name, NameScope scope);
    int Set() { return handle.Valid() && SetEvent(handle.Get()); }
    int Reset() { return handle.Valid() && ResetEvent(handle.Get()); }
    void Close();
    // Alertable wait for the event or the second handle: 1 when one is signalled.
    int Wait(DWORD timeout, int* timedOut, const HANDLE* second);
    // The same, keeping this thread's window messages flowing; 0 on timeout or when the application quits.
    int WaitPumping(DWORD timeout, const HANDLE* second);
    HANDLE Handle() const { return handle.Get(); }

private:
    KernelHandle handle;
};
