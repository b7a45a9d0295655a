#pragma once
// Scans a start-menu tree on up to four threads. Every folder is one task: the thread that reads a
// folder queues the folders it found for whichever thread is free next; a thread without work sleeps
// on a condition variable until there is some or the tree is read. Start may run while the caller does
// other start-up work; Finish joins in with the calling thread and returns when the whole tree is read.

#include "app/tree/LevelReader.h"
#include "base/KernelHandle.h"

#include <windows.h>

#include <vector>

class MenuNode;

class TreeScan {
public:
    TreeScan() = default;
    ~TreeScan() { Finish(); }
    TreeScan(const TreeScan&) = delete;
    TreeScan& operator=(const TreeScan&) = delete;

    // Reads the whole tree below root (a root whose flags name its sources) and returns when it is read.
    static void Scan(MenuNode* root);

    // Resolves the source folders and starts the helper threads on the tree below root; returns once
    // the helpers run. 0 when a scan is already running.
    int Start(MenuNode* root);
    void Finish();
    int NodeCount() const { return reader.NodeCount(); }

private:
    static const int MaxHelpers = 3;

    static DWORD WINAPI HelperProc(void* self);
    void Work();
    // The next folder to read, or null once every folder has been read.
    MenuNode* Take();
    void Done(MenuNode* folder);

    LevelReader reader;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE workOrEnd = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE helperStarted = CONDITION_VARIABLE_INIT;
    std::vector<MenuNode*> pending;
    // Folders taken but not read yet: while one is read, more work may still appear.
    int reading = 0;
    KernelHandle helpers[MaxHelpers];
    int helperCount = 0;
    int helpersRunning = 0;
    int running = 0;
};
