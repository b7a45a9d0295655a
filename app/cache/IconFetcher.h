#pragma once
// Asks the shell for entries' display names and icons (at the size of the popup that shows them) on a
// thread of its own, so that a menu opens at once and its icons are painted in as they come. The owner
// window is told by a posted message when results are waiting; it takes them on its own thread. Requests
// and results carry a generation: those of a tree that has been replaced are dropped.

#include "base/KernelHandle.h"
#include "base/WString.h"

#include <windows.h>

#include <deque>
#include <vector>

class MenuNode;

class IconFetcher {
public:
    struct Request {
        unsigned generation;
        // Only compared on the owner's thread, never read here: the node may be gone by then.
        MenuNode* node;
        WString path;
        // The icon's width and height in pixels: those of the popup that shows the entry.
        int size;
    };
    struct Result {
        unsigned generation;
        MenuNode* node;
        WString name;
        // Owned by the result: whoever takes it destroys it.
        HICON icon;
        // Its index in the shell's system image list, -1 when there is none.
        int systemIndex;
        // The size it was asked at.
        int size;
    };

    // How long Stop waits for the thread to end once the queue is cleared.
    static const DWORD StopGraceMs = 250;

    IconFetcher() = default;
    ~IconFetcher();
    IconFetcher(const IconFetcher&) = delete;
    IconFetcher& operator=(const IconFetcher&) = delete;

    // Where the results are announced; the thread starts with the first request.
    void SetOwner(HWND window, UINT message);
    // Queues the requests ahead of those queued before, in their order: the popup opened last is the
    // one on the screen. 0 when the thread cannot run.
    int RequestFirst(std::vector<Request>& requests);
    // Forgets the queued requests of other generations than this one.
    void KeepOnly(unsigned generation);
    // Moves the results waiting into results.
    void Take(std::vector<Result>& results);
    // 1 while requests are queued or being answered.
    int Busy();
    // Waits up to waitMs for the queue to empty, then clears it and lets the thread end after the call
    // it is in, waiting for that at most StopGraceMs; the results not taken yet stay for a last Take.
    void Stop(DWORD waitMs);

private:
    // What the thread works on, shared with it: a thread whose shell call does not return (a shortcut to
    // a share that does not answer) is left to end by itself, and frees the state when it does.
    struct Shared;

    static DWORD WINAPI ThreadProc(void* state);
    static void Work(Shared& state);
    static void Release(Shared* state);
    int EnsureShared();

    Shared* shared = nullptr;
    KernelHandle thread;
    HWND owner = nullptr;
    UINT message = 0;
    // Results taken from a thread that was stopped, for the last Take.
    std::vector<Result> leftover;
};
