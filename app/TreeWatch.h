#pragma once
// Keeps a resident instance's tree up to date without a click waiting for it: a thread of its own scans
// the tree at the start and again whenever something changes below one of the watched folders (an entry
// added, removed, renamed, rewritten or hidden), and hands each new tree to the owner window with a
// posted message. The owner takes it up when no menu is open.

#include <windows.h>

#include <memory>

class MenuNode;

class TreeWatch {
public:
    // Changes within this time of each other are read with one scan.
    static const DWORD SettleMs = 100;

    TreeWatch() = default;
    ~TreeWatch() { Stop(); }
    TreeWatch(const TreeWatch&) = delete;
    TreeWatch& operator=(const TreeWatch&) = delete;

    // Watches the source folders of a root with these flags and starts the first scan. 0 when the
    // thread cannot run (the owner then scans on each click itself).
    int Start(unsigned rootFlags, HWND owner, UINT readyMessage);
    void Stop();
    int Running() const { return thread != nullptr; }
    // The newest tree scanned since the last call, or null.
    std::unique_ptr<MenuNode> TakeReady();
    // Waits until no change is left unread (a click right after a change); 1 when none is.
    int WaitCurrent(DWORD waitMs);

private:
    static const int MaxFolders = 3;
    static DWORD WINAPI ThreadProc(void* self);
    void Work();
    void ScanAndHandOver();

    unsigned flags = 0;
    HWND owner = nullptr;
    UINT message = 0;
    HANDLE thread = nullptr;
    HANDLE stop = nullptr;
    // Set while every change seen has been read into the tree handed over last.
    HANDLE current = nullptr;
    HANDLE changes[MaxFolders] = {};
    int changeCount = 0;
    SRWLOCK lock = SRWLOCK_INIT;
    MenuNode* ready = nullptr;
};
