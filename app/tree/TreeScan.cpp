#include "app/tree/TreeScan.h"

#include "app/tree/MenuNode.h"

#include <new>

void TreeScan::Scan(MenuNode* root) {
    TreeScan scan;
    if (scan.Start(root))
        scan.Finish();
}

int TreeScan::Start(MenuNode* root) {
    if (running || !root)
        return 0;
    running = 1;
    reader.Prepare(root->flags);
    pending.clear();
    pending.push_back(root);
    reading = 0;

    // Reading a folder waits mostly on the file system (under Wine on system calls), so another
    // thread per processor, up to three, shortens the scan of a large tree nearly in proportion.
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    int wanted = (int)system.dwNumberOfProcessors - 1;
    if (wanted > MaxHelpers)
        wanted = MaxHelpers;
    helperCount = 0;
    helpersRunning = 0;
    for (int i = 0; i < wanted; i++) {
        HANDLE thread = CreateThread(nullptr, 0, HelperProc, this, 0, nullptr);
        // Without a helper the calling thread reads everything in Finish.
        if (!thread)
            break;
        helpers[helperCount++].Reset(thread);
    }
    // A new thread first passes the loader's lock. The caller may load a library next, holding that
    // lock for tens of milliseconds while the library initialises, so the helpers are let in first:
    // each one wakes this wait as it starts.
    AcquireSRWLockExclusive(&lock);
    while (helpersRunning < helperCount)
        SleepConditionVariableSRW(&helperStarted, &lock, 1000, 0);
    ReleaseSRWLockExclusive(&lock);
    return 1;
}

void TreeScan::Finish() {
    if (!running)
        return;
    Work();
    HANDLE threads[MaxHelpers] = {};
    for (int i = 0; i < helperCount; i++)
        threads[i] = helpers[i].Get();
    if (helperCount)
        WaitForMultipleObjects((DWORD)helperCount, threads, TRUE, INFINITE);
    for (int i = 0; i < helperCount; i++)
        helpers[i].Reset();
    helperCount = 0;
    running = 0;
}

DWORD WINAPI TreeScan::HelperProc(void* self) {
    TreeScan* scan = static_cast<TreeScan*>(self);
    AcquireSRWLockExclusive(&scan->lock);
    scan->helpersRunning++;
    ReleaseSRWLockExclusive(&scan->lock);
    WakeAllConditionVariable(&scan->helperStarted);
    scan->Work();
    return 0;
}

void TreeScan::Work() {
    while (MenuNode* folder = Take()) {
        reader.Read(*folder);
        Done(folder);
    }
}

MenuNode* TreeScan::Take() {
    AcquireSRWLockExclusive(&lock);
    // Another thread is reading a folder that may hold more folders: wait until it has queued them.
    while (pending.empty() && reading > 0)
        SleepConditionVariableSRW(&workOrEnd, &lock, INFINITE, 0);
    MenuNode* folder = nullptr;
    if (!pending.empty()) {
        folder = pending.back();
        pending.pop_back();
        reading++;
    }
    ReleaseSRWLockExclusive(&lock);
    return folder;
}

void TreeScan::Done(MenuNode* folder) {
    AcquireSRWLockExclusive(&lock);
    // Each node is read by exactly one thread, so its children can be walked without the others. A
    // queue that cannot grow leaves those folders unread, and empty.
    try {
        for (MenuNode* child = folder->FirstChild(); child; child = folder->NextChild(child)) {
            if (child->flags & NODE_FOLDER)
                pending.push_back(child);
        }
    } catch (const std::bad_alloc&) {
    }
    reading--;
    ReleaseSRWLockExclusive(&lock);
    // New folders for the sleeping threads, or the end of the tree for all of them.
    WakeAllConditionVariable(&workOrEnd);
}
