#include "app/tree/TreeWatch.h"

#include "app/shell/LongPath.h"
#include "app/tree/MenuNode.h"
#include "app/tree/TreeScan.h"

#include <new>

struct TreeWatch::Shared {
    // One for the watch, one for its thread.
    LONG references = 1;
    unsigned flags = 0;
    HWND owner = nullptr;
    UINT message = 0;
    KernelHandle stop;
    // Set while every change seen has been read into the tree handed over last.
    KernelHandle current;
    HANDLE changes[MaxFolders] = {};
    int changeCount = 0;
    SRWLOCK lock = SRWLOCK_INIT;
    MenuNode* ready = nullptr;
    // Set by Stop: a scan that ends afterwards hands nothing over.
    int stopped = 0;

    ~Shared() {
        for (int i = 0; i < changeCount; i++)
            FindCloseChangeNotification(changes[i]);
        delete ready;
    }
};

void TreeWatch::Release(Shared* state) {
    if (state && InterlockedDecrement(&state->references) == 0)
        delete state;
}

int TreeWatch::Start(unsigned rootFlags, HWND ownerWindow, UINT readyMessage) {
    Stop();
    shared = new (std::nothrow) Shared;
    if (!shared)
        return 0;
    shared->flags = rootFlags;
    shared->owner = ownerWindow;
    shared->message = readyMessage;
    shared->stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    shared->current.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!shared->stop.Valid() || !shared->current.Valid()) {
        Stop();
        return 0;
    }
    for (unsigned source : MenuNode::SourceBits) {
        WString folder;
        if (!(rootFlags & source) || !MenuNode::SourceFolder(source, folder))
            continue;
        WString usable;
        if (!ExtendedPath(folder, usable))
            continue;
        // The whole tree below: names of files and folders, rewritten shortcuts (their change stamp),
        // and attributes (an entry hidden or shown).
        HANDLE change = FindFirstChangeNotificationW(usable, TRUE,
                                                     FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                                         FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_ATTRIBUTES);
        // A folder that does not exist yet cannot be watched; its entries show after the next change
        // elsewhere, or at the next start.
        if (change == INVALID_HANDLE_VALUE)
            continue;
        if (shared->changeCount < MaxFolders)
            shared->changes[shared->changeCount++] = change;
        else
            FindCloseChangeNotification(change);
    }
    InterlockedIncrement(&shared->references);
    thread.Reset(CreateThread(nullptr, 0, ThreadProc, shared, 0, nullptr));
    if (!thread.Valid()) {
        Release(shared);
        Stop();
        return 0;
    }
    return 1;
}

void TreeWatch::Stop() {
    if (!shared)
        return;
    if (thread.Valid()) {
        AcquireSRWLockExclusive(&shared->lock);
        shared->stopped = 1;
        ReleaseSRWLockExclusive(&shared->lock);
        SetEvent(shared->stop.Get());
        // Never ended by force: a thread ended inside the file system may hold a lock the rest of the
        // program needs. One that does not end in time ends by itself and frees the shared state then.
        WaitForSingleObject(thread.Get(), StopWaitMs);
        thread.Reset();
    }
    Release(shared);
    shared = nullptr;
}

std::unique_ptr<MenuNode> TreeWatch::TakeReady() {
    if (!shared)
        return nullptr;
    AcquireSRWLockExclusive(&shared->lock);
    MenuNode* tree = shared->ready;
    shared->ready = nullptr;
    ReleaseSRWLockExclusive(&shared->lock);
    return std::unique_ptr<MenuNode>(tree);
}

int TreeWatch::WaitCurrent(DWORD waitMs) {
    return shared && shared->current.Valid() && WaitForSingleObject(shared->current.Get(), waitMs) == WAIT_OBJECT_0;
}

DWORD WINAPI TreeWatch::ThreadProc(void* state) {
    Shared* shared = static_cast<Shared*>(state);
    Work(*shared);
    Release(shared);
    return 0;
}

void TreeWatch::ScanAndHandOver(Shared& state) {
    MenuNode* tree = new (std::nothrow) MenuNode(nullptr);
    if (!tree)
        return;
    tree->flags = state.flags;
    TreeScan::Scan(tree);
    AcquireSRWLockExclusive(&state.lock);
    int stopped = state.stopped;
    if (!stopped) {
        // A tree not taken up yet is older than this one.
        delete state.ready;
        state.ready = tree;
    }
    ReleaseSRWLockExclusive(&state.lock);
    if (stopped)
        delete tree;
    else
        PostMessageW(state.owner, state.message, 0, 0);
}

void TreeWatch::Work(Shared& state) {
    HANDLE waits[MaxFolders + 1] = {state.stop.Get()};
    for (int i = 0; i < state.changeCount; i++)
        waits[i + 1] = state.changes[i];
    DWORD count = (DWORD)state.changeCount + 1;
    for (;;) {
        ScanAndHandOver(state);
        SetEvent(state.current.Get());
        DWORD woken = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + count)
            return;
        ResetEvent(state.current.Get());
        // An installer writes many files at once: the scan waits until the changes settle.
        do {
            for (int i = 0; i < state.changeCount; i++) {
                if (WaitForSingleObject(state.changes[i], 0) == WAIT_OBJECT_0)
                    FindNextChangeNotification(state.changes[i]);
            }
            woken = WaitForMultipleObjects(count, waits, FALSE, SettleMs);
            if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
                return;
        } while (woken != WAIT_TIMEOUT);
    }
}
