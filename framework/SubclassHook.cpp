#include "framework/SubclassHook.h"

#include "base/CallbackGuard.h"

void SubclassHookBase::PropertyName(DWORD tag, wchar_t (&name)[PropertyNameChars]) {
    wsprintfW(name, L"_C_SubClassing_Property_%08X", (unsigned)tag);
}

int SubclassHookBase::Attach(HWND target, SubclassCallback hookCallback, void* hookUserData) {
    if (previousProc || !target || !hookCallback)
        return 0;
    wchar_t name[PropertyNameChars];
    PropertyName(tag, name);
    if (GetPropW(target, name))
        return 0;
    window = target;
    callback = hookCallback;
    userData = hookUserData;
    // The record goes on the window before the procedure is replaced, so the first message the thunk
    // receives already finds it.
    if (!SetPropW(target, name, this)) {
        window = nullptr;
        return 0;
    }
    // Fails for a window of another process (or a destroyed one); the window is then left as it was.
    WNDPROC previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(target, GWLP_WNDPROC, (LONG_PTR)thunk));
    if (!previous) {
        RemovePropW(target, name);
        window = nullptr;
        return 0;
    }
    previousProc = previous;
    return 1;
}

int SubclassHookBase::Detach() {
    if (!previousProc)
        return 0;
    wchar_t name[PropertyNameChars];
    PropertyName(tag, name);
    // The saved procedure goes back whatever was installed since; a hook attached after this one is
    // therefore cut off, which is why stacked hooks are detached in reverse order.
    SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)previousProc);
    RemovePropW(window, name);
    previousProc = nullptr;
    window = nullptr;
    return 1;
}

LRESULT SubclassHookBase::Dispatch(DWORD tag, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A fault in here leaves a crash report, also where the system calls the procedure back.
    CallbackGuard guard;
    wchar_t name[PropertyNameChars];
    PropertyName(tag, name);
    SubclassHookBase* hook = static_cast<SubclassHookBase*>(GetPropW(window, name));
    if (!hook)
        return 0;
    // Read before the callback runs: a callback may detach the hook or delete its owner (typically on
    // WM_DESTROY), and a message it leaves unhandled must still reach the procedure that was in place.
    WNDPROC previous = hook->previousProc;
    LRESULT result = 0;
    if (hook->callback(window, message, wParam, lParam, &result, hook->userData) == 1)
        return result;
    return previous ? CallWindowProcW(previous, window, message, wParam, lParam) : 0;
}
