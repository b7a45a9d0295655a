#pragma once
// Keeps a resident instance's tree up to date without a click waiting for it: a thread of its own scans
// the tree at the start and again whenever something changes below one of the watched folders (an entry
// added, removed, renamed, rewritten or hidden), and hands each new tree to the owner window with a
// posted message. The owner takes it up when no menu is open.

#include "base/KernelHandle.h"

#include <windows.h>

#include <memory>

class MenuNode;

class TreeWatch {
public:
    // Changes within this time of each other are read with one scan.
    static const DWORD SettleMs = 100;
    // How long Stop waits for a scan in progress.
    static const DWORD StopWaitMs = 250;

    TreeWatch() = default;
    ~TreeWatch() { Stop(); }
    TreeWatch(const TreeWatch&) = delete;
    TreeWatch& operator=(const TreeWatch&) = delete;

    // Watches the source folders of a root with these flags and starts the first scan. 0 when the
    // thread cannot run (the owner then scans on each click itself).
    int Start(unsigned rootFlags, HWND owner, UINT readyMessage);
    // Ends the watch. A scan that does not end within StopWaitMs (a folder on a share that does not
    // answer) is left to finish on its own; its tree is dropped and nobody is told of it.
    void Stop();
    int Running() const { return thread.Valid(); }
    // The newest tree scanned since the last call, or null.
    std::unique_ptr<MenuNode> TakeReady();
    // Waits until no change is left unread (a click right after a change); 1 when none is.
    int WaitCurrent(DWORD waitMs);

private:
    static const int MaxFolders = 3;
    // What the thread works on, shared with it so that it may outlive the watch (see Stop).
    struct Shared;

    static DWORD WINAPI ThreadProc(void* state);
    static void Work(Shared& state);
    static void ScanAndHandOver(Shared& state);
    static void Release(Shared* state);

    Shared* shared = nullptr;
    KernelHandle thread;
};
