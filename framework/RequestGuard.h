#pragma once
// Ends a blocked network request from outside it: another thread (Exit while an update downloads) or the
// request's own deadline closes its wininet handles, which makes the blocked call fail at once. Ending
// the thread by force instead could leave wininet's or the heap's locks held for good.

#include <windows.h>
#include <wininet.h>

class RequestGuard {
public:
    typedef BOOL(WINAPI* CloseFunction)(HINTERNET);

    RequestGuard();
    ~RequestGuard();
    RequestGuard(const RequestGuard&) = delete;
    RequestGuard& operator=(const RequestGuard&) = delete;

    // Cancels the running request and refuses every later one until Reset. Any thread.
    void CancelAll();
    void Reset();
    int IsCancelled() const { return cancelAll != 0; }

    // One request, on the thread that makes it: the handles below are closed by a cancel or once
    // `deadline` milliseconds (0: none) have passed. 0 when the guard is cancelled already.
    int Begin(CloseFunction close, DWORD deadline);
    // Puts a handle just opened into its slot; when the request was cancelled meanwhile the handle is
    // closed at once and the slot stays empty (0). The last error survives for the caller.
    int Adopt(HINTERNET& slot, HINTERNET handle);
    // Closes the handle in the slot, unless a cancel already did.
    void Close(HINTERNET& slot);
    // Ends the request; the handles still in their slots are the caller's to close. 1 when it was
    // cancelled or ran out of time.
    int End();
    int Ended() const { return requestCancelled != 0; }

private:
    static void CALLBACK OnDeadline(void* self, BOOLEAN);
    void CancelRequest();

    CRITICAL_SECTION lock;
    CloseFunction closeHandle = nullptr;
    static const int MaxSlots = 3;
    HINTERNET* slots[MaxSlots] = {};
    HANDLE timer = nullptr;
    volatile LONG cancelAll = 0;
    volatile LONG requestCancelled = 0;
    int active = 0;
};

// Begin and End of one request, as a scope.
class GuardedRequest {
public:
    GuardedRequest(RequestGuard& guard, RequestGuard::CloseFunction close, DWORD deadline)
        : guard(guard), started(guard.Begin(close, deadline)) {}
    ~GuardedRequest() {
        if (started)
            guard.End();
    }
    GuardedRequest(const GuardedRequest&) = delete;
    GuardedRequest& operator=(const GuardedRequest&) = delete;
    explicit operator bool() const { return started != 0; }

private:
    RequestGuard& guard;
    int started;
};
