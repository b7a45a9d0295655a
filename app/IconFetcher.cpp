#include "app/IconFetcher.h"

#include "app/ShellFile.h"
#include "base/CommonControls.h"

#include <objbase.h>
#include <shellapi.h>

#include <new>
#include <utility>

void IconFetcher::SetOwner(HWND window, UINT notification) {
    owner = window;
    message = notification;
}

int IconFetcher::RequestFirst(std::vector<Request>& requests) {
    if (requests.empty())
        return 1;
    AcquireSRWLockExclusive(&lock);
    int ok = !stopping;
    if (ok && !thread) {
        thread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
        ok = thread != nullptr;
    }
    if (ok) {
        try {
            queue.insert(queue.begin(), requests.begin(), requests.end());
        } catch (const std::bad_alloc&) {
            ok = 0;
        }
    }
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
    return ok;
}

void IconFetcher::KeepOnly(unsigned generation) {
    AcquireSRWLockExclusive(&lock);
    std::deque<Request> kept;
    for (Request& request : queue) {
        if (request.generation == generation)
            kept.push_back(std::move(request));
    }
    queue.swap(kept);
    ReleaseSRWLockExclusive(&lock);
}

void IconFetcher::Take(std::vector<Result>& taken) {
    AcquireSRWLockExclusive(&lock);
    if (taken.empty())
        taken.swap(results);
    else {
        taken.insert(taken.end(), results.begin(), results.end());
        results.clear();
    }
    ReleaseSRWLockExclusive(&lock);
}

int IconFetcher::Busy() {
    AcquireSRWLockExclusive(&lock);
    int busy = !queue.empty() || answering;
    ReleaseSRWLockExclusive(&lock);
    return busy;
}

void IconFetcher::Stop(DWORD waitMs) {
    if (!thread) {
        queue.clear();
        return;
    }
    DWORD begin = GetTickCount();
    while (Busy() && GetTickCount() - begin < waitMs)
        Sleep(10);
    AcquireSRWLockExclusive(&lock);
    stopping = 1;
    queue.clear();
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
    // The shell's call in progress ends by itself; a share that does not answer is not waited for
    // longer than a user would wait for a program to end.
    if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0)
        TerminateThread(thread, 1);
    CloseHandle(thread);
    thread = nullptr;
    stopping = 0;
}

IconFetcher::~IconFetcher() {
    Stop(0);
    for (Result& result : results) {
        if (result.icon)
            DestroyIcon(result.icon);
    }
}

DWORD WINAPI IconFetcher::ThreadProc(void* self) {
    // The shell's icon and name calls need COM on the calling thread, and are safe on any thread
    // that has it.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    static_cast<IconFetcher*>(self)->Work();
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

void IconFetcher::Work() {
    for (;;) {
        AcquireSRWLockExclusive(&lock);
        answering = 0;
        while (queue.empty() && !stopping)
            SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
        if (stopping) {
            ReleaseSRWLockExclusive(&lock);
            return;
        }
        Request request = std::move(queue.front());
        queue.pop_front();
        answering = 1;
        ReleaseSRWLockExclusive(&lock);

        Result result = {request.generation, request.node, WString(), nullptr, -1};
        result.name.Assign(L"");
        // Named however long the path, and a shortcut into the 64-bit system with its own icon (app/ShellFile).
        ShellFile::Look(request.path, result.name, &result.icon, &result.systemIndex);

        AcquireSRWLockExclusive(&lock);
        int first = results.empty();
        try {
            results.push_back(std::move(result));
        } catch (const std::bad_alloc&) {
            if (result.icon)
                DestroyIcon(result.icon);
            first = 0;
        }
        ReleaseSRWLockExclusive(&lock);
        // One message for a run of results: the owner takes all that are waiting when it comes.
        if (first && owner)
            PostMessageW(owner, message, 0, 0);
    }
}
