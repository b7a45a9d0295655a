#include "app/TreeScan.h"

#include "app/MenuNode.h"

int TreeScan::Start(MenuNode* root) {
    if (running || !root)
        return 0;
    running = 1;
    lock.Init();
    for (int i = 0; i < 3; i++)
        resolved[i] = MenuNode::SourceFolder(MenuNode::SourceBits[i], folders[i]);
    pending.clear();
    pending.push_back(root);
    reading = 0;
    // No "insert a disk" box for an empty drive named by a custom root. The mode belongs to the
    // process, so it is set once around the whole scan: each thread setting and restoring it around
    // its own reads would race, and could leave it changed for good.
    oldErrorMode = SetErrorMode(SEM_FAILCRITICALERRORS);

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
        helpers[helperCount++] = thread;
    }
    // A new thread first passes the loader's lock. The caller may load a library next, holding that
    // lock for tens of milliseconds while the library initialises, so the helpers are let in first.
    while (InterlockedCompareExchange(&helpersRunning, 0, 0) < helperCount)
        SwitchToThread();
    return 1;
}

void TreeScan::Finish() {
    if (!running)
        return;
    Work();
    if (helperCount)
        WaitForMultipleObjects((DWORD)helperCount, helpers, TRUE, INFINITE);
    for (int i = 0; i < helperCount; i++)
        CloseHandle(helpers[i]);
    helperCount = 0;
    SetErrorMode(oldErrorMode);
    running = 0;
}

DWORD WINAPI TreeScan::HelperProc(void* self) {
    TreeScan* scan = static_cast<TreeScan*>(self);
    InterlockedIncrement(&scan->helpersRunning);
    scan->Work();
    return 0;
}

void TreeScan::Work() {
    while (MenuNode* folder = Take()) {
        folder->ScanLevel(folders, resolved);
        // Each node is read by exactly one thread, so its children can be walked without the others.
        lock.Enter();
        for (MenuNode* child = folder->FirstChild(); child; child = folder->NextChild(child)) {
            if (child->flags & NODE_FOLDER)
                pending.push_back(child);
        }
        reading--;
        lock.Leave();
    }
}

MenuNode* TreeScan::Take() {
    for (;;) {
        lock.Enter();
        if (!pending.empty()) {
            MenuNode* folder = pending.back();
            pending.pop_back();
            reading++;
            lock.Leave();
            return folder;
        }
        int done = reading == 0;
        lock.Leave();
        if (done)
            return nullptr;
        // Another thread is reading a folder that may hold more folders: a few microseconds, far less
        // than a wait on a kernel object would cost.
        SwitchToThread();
    }
}
