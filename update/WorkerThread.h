#pragma once
// A one-shot background thread: runs one function with two arguments, keeps its result and signals a
// completion event, which the owner can wait for while its window messages keep flowing.

#include "base/Event.h"
#include "base/KernelHandle.h"

#include <windows.h>

typedef DWORD (*WorkerFunction)(void* argument, UINT_PTR value);

class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread() { Stop(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // 0 while a thread is still running, or when none can be created.
    int Start(WorkerFunction function, void* argument, UINT_PTR value);
    // Waits for the thread (timeout 0 or -1: without limit), dispatching this thread's messages. 1 when it
    // has ended; 0 when none was started, on timeout, or when a quit message arrives (which is posted
    // again for the caller's loop).
    int Wait(DWORD timeout);
    // Ends a running thread by force (meant for shutdown), clears the result and closes the event.
    void Stop();
    int IsRunning() const { return (state & RUNNING) != 0; }
    DWORD Result() const { return result; }

private:
    enum : LONG { RUNNING = 0x1 };
    static DWORD WINAPI Run(void* self);
    void Reap();

    WorkerFunction function = nullptr;
    void* argument = nullptr;
    UINT_PTR value = 0;
    volatile LONG state = 0;
    KernelHandle thread;
    DWORD threadId = 0;
    DWORD result = 0;
    Event done;
};
