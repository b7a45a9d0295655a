#include "framework/RequestGuard.h"

RequestGuard::RequestGuard() {
    InitializeCriticalSection(&lock);
}

RequestGuard::~RequestGuard() {
    DeleteCriticalSection(&lock);
}

void RequestGuard::CancelAll() {
    InterlockedExchange(&cancelAll, 1);
    CancelRequest();
}

void RequestGuard::Reset() {
    InterlockedExchange(&cancelAll, 0);
}

int RequestGuard::Begin(CloseFunction close, DWORD deadline) {
    EnterCriticalSection(&lock);
    closeHandle = close;
    for (HINTERNET*& slot : slots)
        slot = nullptr;
    requestCancelled = 0;
    active = !cancelAll;
    LeaveCriticalSection(&lock);
    if (!active)
        return 0;
    // A pool thread closes the handles at the deadline; End waits for it, so it never outlives the request.
    if (deadline && !CreateTimerQueueTimer(&timer, nullptr, OnDeadline, this, deadline, 0, WT_EXECUTEONLYONCE))
        timer = nullptr;
    return 1;
}

int RequestGuard::Adopt(HINTERNET& slot, HINTERNET handle) {
    DWORD error = GetLastError();
    EnterCriticalSection(&lock);
    int kept = 1;
    if (handle && (requestCancelled || !active)) {
        closeHandle(handle);
        kept = 0;
        handle = nullptr;
    }
    slot = handle;
    int registered = 0;
    for (HINTERNET*& known : slots)
        registered |= known == &slot;
    for (int i = 0; handle && !registered && i < MaxSlots; i++) {
        if (!slots[i]) {
            slots[i] = &slot;
            registered = 1;
        }
    }
    LeaveCriticalSection(&lock);
    SetLastError(kept ? error : ERROR_INTERNET_OPERATION_CANCELLED);
    return kept;
}

void RequestGuard::Close(HINTERNET& slot) {
    EnterCriticalSection(&lock);
    if (slot)
        closeHandle(slot);
    slot = nullptr;
    LeaveCriticalSection(&lock);
}

void RequestGuard::CancelRequest() {
    EnterCriticalSection(&lock);
    requestCancelled = 1;
    // Innermost first, as the request would close them itself.
    for (int i = MaxSlots; i-- > 0;) {
        if (slots[i] && *slots[i]) {
            closeHandle(*slots[i]);
            *slots[i] = nullptr;
        }
    }
    LeaveCriticalSection(&lock);
}

void CALLBACK RequestGuard::OnDeadline(void* self, BOOLEAN) {
    static_cast<RequestGuard*>(self)->CancelRequest();
}

int RequestGuard::End() {
    // Waits for a deadline callback that already runs: afterwards nothing else touches the slots.
    if (timer)
        DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    timer = nullptr;
    EnterCriticalSection(&lock);
    for (HINTERNET*& slot : slots)
        slot = nullptr;
    active = 0;
    int ended = requestCancelled != 0;
    LeaveCriticalSection(&lock);
    return ended;
}
