#include "base/Event.h"

#include "base/Clock.h"
#include "base/SecurityAttributes.h"
#include "base/WString.h"
#include "base/SystemVersion.h"

int Event::Create(ResetKind reset, StartState start, const wchar_t* name, NameScope scope) {
    Close();
    SECURITY_ATTRIBUTES attributes = {};
    SECURITY_ATTRIBUTES* security = nullptr;
    WString globalName;
    // The global namespace exists on the NT family from Windows 2000 on (not on NT 4).
    if (name && scope == GLOBAL_NAME && IsNtPlatform() && WindowsMajorVersion() >= 5 &&
        BuildSecurityAttributes(nullptr, NOT_INHERITED, &attributes)) {
        security = &attributes;
        globalName.Format(L"Global\\%s", name);
        name = globalName;
    }
    handle.Reset(CreateEventW(security, reset == MANUAL_RESET, start == SIGNALLED, name));
    FreeSecurityAttributes(&attributes);
    return handle.Valid();
}

void Event::Close() {
    handle.Reset();
}

int Event::Wait(DWORD timeout, int* timedOut, const HANDLE* second) {
    HANDLE handles[2] = {handle.Get(), second ? *second : nullptr};
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

int Event::WaitPumping(DWORD timeout, const HANDLE* second) {
    HANDLE handles[2] = {handle.Get(), second ? *second : nullptr};
    DWORD count = (second && *second) ? 2 : 1;
    const bool forever = timeout == INFINITE;
    const unsigned long long deadline = TickCount64() + timeout;
    for (;;) {
        DWORD remaining = INFINITE;
        if (!forever) {
            unsigned long long now = TickCount64();
            // A zero timeout still gets one pass: messages are dispatched once and the handles polled.
            if (now > deadline)
                return 0;
            remaining = (DWORD)(deadline - now);
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // The loop that waits for us must still see the quit.
                PostQuitMessage((int)message.wParam);
                return 0;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, remaining, QS_ALLINPUT | QS_ALLPOSTMESSAGE);
        if (result == WAIT_OBJECT_0 + count) {
            if (!forever && remaining == 0)
                return 0;
            continue;
        }
        return result < WAIT_OBJECT_0 + count ? 1 : 0;
    }
}
