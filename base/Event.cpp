#include "base/Event.h"

int Event::Create(int manualReset, int initiallySignalled, const wchar_t* name, int /*global*/) {
    Close();
    owned = 1;
    handle = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE, name);
    return handle != nullptr;
}

void Event::Close() {
    if (handle && owned)
        CloseHandle(handle);
    handle = nullptr;
    owned = 0;
}

int Event::Wait(DWORD timeout, int* timedOut, const HANDLE* second) {
    HANDLE handles[2] = {handle, second ? *second : nullptr};
    DWORD count = (second && *second) ? 2 : 1;
    DWORD result;
    // An APC delivered to this thread ends an alertable wait early; wait again.
    do {
        result = WaitForMultipleObjectsEx(count, handles, FALSE, timeout, TRUE);
    } while (result == WAIT_IO_COMPLETION);
    if (timedOut)
        *timedOut = result == WAIT_TIMEOUT;
    return result < WAIT_OBJECT_0 + count;
}
