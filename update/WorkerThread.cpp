#include "update/WorkerThread.h"

int WorkerThread::Start(WorkerFunction startFunction, void* startArgument, UINT_PTR startValue) {
    if (IsRunning())
        return 0;
    // The previous thread has cleared its running bit but may still be on its way out, about to signal
    // the event: that must not be the new run's event.
    Reap();
    function = startFunction;
    argument = startArgument;
    value = startValue;
    result = 0;
    state = RUNNING;
    if (!done.Create(Event::MANUAL_RESET, Event::UNSIGNALLED, nullptr, Event::SESSION_NAME)) {
        state = 0;
        return 0;
    }
    thread.Reset(CreateThread(nullptr, 0, Run, this, 0, &threadId));
    if (!thread.Valid()) {
        state = 0;
        done.Close();
        return 0;
    }
    return 1;
}

DWORD WINAPI WorkerThread::Run(void* self) {
    WorkerThread* worker = static_cast<WorkerThread*>(self);
    DWORD functionResult = worker->function(worker->argument, worker->value);
    worker->result = functionResult;
    InterlockedAnd(&worker->state, ~(LONG)RUNNING);
    // Last touch of the object: once the event is set the owner may go on and destroy it.
    worker->done.Set();
    return functionResult;
}

int WorkerThread::Wait(DWORD timeout) {
    if (!done.Handle())
        return 0;
    return done.WaitPumping(timeout == 0 ? INFINITE : timeout, nullptr);
}

// The thread handle stays with this object until the thread has ended: a thread closing its own handle
// could do so while Stop is about to terminate through it, and the system may by then have handed the
// same value to another object.
void WorkerThread::Reap() {
    if (!thread.Valid())
        return;
    WaitForSingleObject(thread.Get(), INFINITE);
    thread.Reset();
    threadId = 0;
}

void WorkerThread::Stop() {
    if (thread.Valid() && IsRunning()) {
        TerminateThread(thread.Get(), 1);
        state = 0;
    }
    Reap();
    result = 0;
    done.Close();
}
