#pragma once
// Scans a start-menu tree on up to four threads. Every folder is one task: the thread that reads a
// folder queues the folders it found for whichever thread is free next. Start may run while the
// caller does other start-up work; Finish joins in with the calling thread and returns when the whole
// tree is read.

#include "base/CriticalSection.h"
#include "base/WString.h"

#include <windows.h>

#include <vector>

class MenuNode;

class TreeScan {
public:
    TreeScan() = default;
    ~TreeScan() { Finish(); }
    TreeScan(const TreeScan&) = delete;
    TreeScan& operator=(const TreeScan&) = delete;

    // Resolves the source folders and starts the helper threads on the tree below root (a root whose
    // flags name its sources); returns once the helpers run. 0 when a scan is already running.
    int Start(MenuNode* root);
    void Finish();

private:
    static const int MaxHelpers = 3;

    static DWORD WINAPI HelperProc(void* self);
    void Work();
    // The next folder to read, or null once every folder has been read.
    MenuNode* Take();

    CriticalSection lock;
    std::vector<MenuNode*> pending;
    // Folders taken but not read yet: while one is read, more work may still appear.
    int reading = 0;
    WString folders[3];
    int resolved[3] = {0, 0, 0};
    HANDLE helpers[MaxHelpers] = {};
    int helperCount = 0;
    volatile LONG helpersRunning = 0;
    int running = 0;
    UINT oldErrorMode = 0;
};
