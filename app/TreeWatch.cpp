#include "app/TreeWatch.h"

#include "app/LongPath.h"
#include "app/MenuNode.h"
#include "app/TreeScan.h"

#include <new>

int TreeWatch::Start(unsigned rootFlags, HWND ownerWindow, UINT readyMessage) {
    Stop();
    flags = rootFlags;
    owner = ownerWindow;
    message = readyMessage;
    stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    current = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stop || !current) {
        Stop();
        return 0;
    }
    changeCount = 0;
    for (unsigned source : MenuNode::SourceBits) {
        WString folder;
        if (!(flags & source) || !MenuNode::SourceFolder(source, folder))
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
        if (change != INVALID_HANDLE_VALUE && changeCount < MaxFolders)
            changes[changeCount++] = change;
    }
    thread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (!thread) {
        Stop();
        return 0;
    }
    return 1;
}

void TreeWatch::Stop() {
    if (thread) {
        SetEvent(stop);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        thread = nullptr;
    }
    for (int i = 0; i < changeCount; i++)
        FindCloseChangeNotification(changes[i]);
    changeCount = 0;
    if (stop)
        CloseHandle(stop);
    if (current)
        CloseHandle(current);
    stop = current = nullptr;
    delete ready;
    ready = nullptr;
}

std::unique_ptr<MenuNode> TreeWatch::TakeReady() {
    AcquireSRWLockExclusive(&lock);
    MenuNode* tree = ready;
    ready = nullptr;
    ReleaseSRWLockExclusive(&lock);
    return std::unique_ptr<MenuNode>(tree);
}

int TreeWatch::WaitCurrent(DWORD waitMs) {
    return current && WaitForSingleObject(current, waitMs) == WAIT_OBJECT_0;
}

DWORD WINAPI TreeWatch::ThreadProc(void* self) {
    static_cast<TreeWatch*>(self)->Work();
    return 0;
}

void TreeWatch::ScanAndHandOver() {
    MenuNode* tree = new (std::nothrow) MenuNode(nullptr);
    if (!tree)
        return;
    tree->flags = flags;
    TreeScan::Scan(tree);
    AcquireSRWLockExclusive(&lock);
    // A tree not taken up yet is older than this one.
    delete ready;
    ready = tree;
    ReleaseSRWLockExclusive(&lock);
    PostMessageW(owner, message, 0, 0);
}

void TreeWatch::Work() {
    HANDLE waits[MaxFolders + 1] = {stop};
    for (int i = 0; i < changeCount; i++)
        waits[i + 1] = changes[i];
    DWORD count = (DWORD)changeCount + 1;
    for (;;) {
        ScanAndHandOver();
        SetEvent(current);
        DWORD woken = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + count)
            return;
        ResetEvent(current);
        // An installer writes many files at once: the scan waits until the changes settle.
        do {
            for (int i = 0; i < changeCount; i++) {
                if (WaitForSingleObject(changes[i], 0) == WAIT_OBJECT_0)
                    FindNextChangeNotification(changes[i]);
            }
            woken = WaitForMultipleObjects(count, waits, FALSE, SettleMs);
            if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
                return;
        } while (woken != WAIT_TIMEOUT);
    }
}
