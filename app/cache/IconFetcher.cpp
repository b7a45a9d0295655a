#include "app/cache/IconFetcher.h"

#include "app/shell/AppIcon.h"
#include "app/shell/PackagedApps.h"
#include "app/shell/ShellFile.h"
#include "base/CommonControls.h"

#include <objbase.h>
#include <shellapi.h>

#include <new>
#include <utility>

struct IconFetcher::Shared {
    // One for the fetcher, one for its thread.
    LONG references = 1;
    SRWLOCK lock = SRWLOCK_INIT;
    // Set when there is work or the thread is to end; the thread waits on it while it pumps messages.
    KernelHandle wake;
    std::deque<Request> queue;
    std::vector<Result> results;
    int answering = 0;
    int stopping = 0;
    HWND owner = nullptr;
    UINT message = 0;

    ~Shared() {
        for (Result& result : results) {
            if (result.icon)
                DestroyIcon(result.icon);
        }
    }
};

void IconFetcher::Release(Shared* state) {
    if (state && InterlockedDecrement(&state->references) == 0)
        delete state;
}

int IconFetcher::EnsureShared() {
    if (shared)
        return 1;
    shared = new (std::nothrow) Shared;
    if (!shared)
        return 0;
    shared->wake.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    shared->owner = owner;
    shared->message = message;
    if (!shared->wake.Valid()) {
        Release(shared);
        shared = nullptr;
        return 0;
    }
    return 1;
}

void IconFetcher::SetOwner(HWND window, UINT notification) {
    owner = window;
    message = notification;
    if (shared) {
        AcquireSRWLockExclusive(&shared->lock);
        shared->owner = owner;
        shared->message = message;
        ReleaseSRWLockExclusive(&shared->lock);
    }
}

int IconFetcher::RequestFirst(std::vector<Request>& requests) {
    if (requests.empty())
        return 1;
    if (!EnsureShared())
        return 0;
    if (!thread.Valid()) {
        InterlockedIncrement(&shared->references);
        thread.Reset(CreateThread(nullptr, 0, ThreadProc, shared, 0, nullptr));
        if (!thread.Valid()) {
            Release(shared);
            return 0;
        }
    }
    AcquireSRWLockExclusive(&shared->lock);
    int ok = 1;
    try {
        shared->queue.insert(shared->queue.begin(), requests.begin(), requests.end());
    } catch (const std::bad_alloc&) {
        ok = 0;
    }
    ReleaseSRWLockExclusive(&shared->lock);
    SetEvent(shared->wake.Get());
    return ok;
}

void IconFetcher::KeepOnly(unsigned generation) {
    if (!shared)
        return;
    AcquireSRWLockExclusive(&shared->lock);
    std::deque<Request> kept;
    for (Request& request : shared->queue) {
        if (request.generation == generation)
            kept.push_back(std::move(request));
    }
    shared->queue.swap(kept);
    ReleaseSRWLockExclusive(&shared->lock);
}

void IconFetcher::Take(std::vector<Result>& taken) {
    taken.insert(taken.end(), leftover.begin(), leftover.end());
    leftover.clear();
    if (!shared)
        return;
    AcquireSRWLockExclusive(&shared->lock);
    if (taken.empty())
        taken.swap(shared->results);
    else {
        taken.insert(taken.end(), shared->results.begin(), shared->results.end());
        shared->results.clear();
    }
    ReleaseSRWLockExclusive(&shared->lock);
}

int IconFetcher::Busy() {
    if (!shared)
        return 0;
    AcquireSRWLockExclusive(&shared->lock);
    int busy = !shared->queue.empty() || shared->answering;
    ReleaseSRWLockExclusive(&shared->lock);
    return busy;
}

void IconFetcher::Stop(DWORD waitMs) {
    if (!thread.Valid()) {
        if (shared)
            shared->queue.clear();
        return;
    }
    DWORD begin = GetTickCount();
    while (Busy() && GetTickCount() - begin < waitMs)
        Sleep(10);
    AcquireSRWLockExclusive(&shared->lock);
    shared->stopping = 1;
    shared->queue.clear();
    ReleaseSRWLockExclusive(&shared->lock);
    SetEvent(shared->wake.Get());
    // The shell's call in progress ends by itself. A thread that stays in it (a share that does not
    // answer) is never ended by force, which could leave the loader's or the heap's lock held for the
    // cache write and the exit that follow: it is left to end when the call returns, and frees the
    // shared state then. The process ending meanwhile ends it with the others.
    WaitForSingleObject(thread.Get(), StopGraceMs);
    thread.Reset();
    AcquireSRWLockExclusive(&shared->lock);
    leftover.swap(shared->results);
    ReleaseSRWLockExclusive(&shared->lock);
    Release(shared);
    shared = nullptr;
}

IconFetcher::~IconFetcher() {
    Stop(0);
    for (Result& result : leftover) {
        if (result.icon)
            DestroyIcon(result.icon);
    }
    Release(shared);
}

DWORD WINAPI IconFetcher::ThreadProc(void* state) {
    // The shell's icon and name calls need COM on the calling thread, in a single-threaded apartment;
    // Work pumps its messages while it waits, as such an apartment must for the calls made into it.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    Shared* shared = static_cast<Shared*>(state);
    Work(*shared);
    if (SUCCEEDED(com))
        CoUninitialize();
    Release(shared);
    return 0;
}

void IconFetcher::Work(Shared& state) {
    for (;;) {
        AcquireSRWLockExclusive(&state.lock);
        state.answering = 0;
        if (state.stopping) {
            ReleaseSRWLockExclusive(&state.lock);
            return;
        }
        if (state.queue.empty()) {
            ReleaseSRWLockExclusive(&state.lock);
            HANDLE wake = state.wake.Get();
            MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            MSG pending;
            while (PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&pending);
                DispatchMessageW(&pending);
            }
            continue;
        }
        Request request = std::move(state.queue.front());
        state.queue.pop_front();
        state.answering = 1;
        ReleaseSRWLockExclusive(&state.lock);

        Result result = {request.generation, request.node, WString(), nullptr, -1, request.size};
        result.name.Assign(L"");
        // Named however long the path, and a shortcut into the 64-bit system with its own icon (app/ShellFile);
        // a packaged app by its item in the Applications folder.
        if (PackagedApps::IsItemPath(request.path))
            AppIcon::Look(request.path, request.size, result.name, &result.icon);
        else
            ShellFile::Look(request.path, request.size, result.name, &result.icon, &result.systemIndex);

        AcquireSRWLockExclusive(&state.lock);
        int first = state.results.empty();
        int kept = 0;
        // Kept also while stopping: the call that Stop waited for ends here, and its result is taken last.
        try {
            state.results.push_back(std::move(result));
            kept = 1;
        } catch (const std::bad_alloc&) {
        }
        if (!kept) {
            if (result.icon)
                DestroyIcon(result.icon);
            first = 0;
        }
        HWND owner = state.owner;
        UINT message = state.message;
        ReleaseSRWLockExclusive(&state.lock);
        // One message for a run of results: the owner takes all that are waiting when it comes.
        if (first && owner)
            PostMessageW(owner, message, 0, 0);
    }
}
