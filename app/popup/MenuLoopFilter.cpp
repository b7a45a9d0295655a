#include "app/popup/MenuLoopFilter.h"

#include "app/popup/MenuLoopListener.h"

HHOOK MenuLoopFilter::hook = nullptr;
DWORD MenuLoopFilter::threadId = 0;
MenuLoopListener* MenuLoopFilter::listeners[MaxListeners] = {};
int MenuLoopFilter::count = 0;

int MenuLoopFilter::Subscribe(MenuLoopListener* listener) {
    for (int i = 0; i < count; i++) {
        if (listeners[i] == listener)
            return 1;
    }
    // A thread's menu loop is filtered by a hook of that thread: the listeners all live on one.
    if (!listener || count == MaxListeners || (hook && threadId != GetCurrentThreadId()))
        return 0;
    if (!hook) {
        hook = SetWindowsHookExW(WH_MSGFILTER, FilterProc, nullptr, GetCurrentThreadId());
        if (!hook)
            return 0;
        threadId = GetCurrentThreadId();
    }
    listeners[count++] = listener;
    return 1;
}

void MenuLoopFilter::Unsubscribe(MenuLoopListener* listener) {
    for (int i = 0; i < count; i++) {
        if (listeners[i] != listener)
            continue;
        for (int j = i + 1; j < count; j++)
            listeners[j - 1] = listeners[j];
        listeners[--count] = nullptr;
        break;
    }
    if (count == 0 && hook && threadId == GetCurrentThreadId()) {
        UnhookWindowsHookEx(hook);
        hook = nullptr;
        threadId = 0;
    }
}

LRESULT CALLBACK MenuLoopFilter::FilterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_MENU && lParam) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        for (int i = 0; i < count; i++) {
            if (listeners[i]->OnMenuLoopMessage(*message))
                return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
