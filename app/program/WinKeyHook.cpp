#include "app/program/WinKeyHook.h"

#include "base/RegistryRead.h"

#include <shellapi.h>
#include <shlobj.h>

namespace {

// The hook procedure has no argument of its own: the process's one hook, set on the hook's thread.
WinKeyHook* volatile current = nullptr;

// Posted by the hook procedure to its own thread: an answer went out late.
const UINT RehookMessage = WM_APP + 1;
// How long Start waits for the thread to report whether the system took the hook.
const DWORD StartWaitMs = 5000;
// The system's wait for a hook's answer when the user set none ("LowLevelHooksTimeout").
const DWORD DefaultHookTimeoutMs = 300;
const DWORD MaxHookTimeoutMs = 1000;
// Hooked again at most this often, however late the answers: an event coming between the old hook's
// removal and the new one's arrival passes unseen.
const DWORD RehookSpacingMs = 2000;

} // namespace

int WinKeyHook::Start(HWND window, UINT message) {
    if (Running())
        return 1;
    target = window;
    targetMessage = message;
    hooked = 0;
    ready.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready.Valid())
        return 0;
    thread.Reset(CreateThread(nullptr, 0, ThreadProc, this, 0, &threadId));
    if (!thread.Valid())
        return 0;
    HANDLE events[2] = {ready.Get(), thread.Get()};
    WaitForMultipleObjects(2, events, FALSE, StartWaitMs);
    if (hooked)
        return 1;
    Stop();
    return 0;
}

void WinKeyHook::Stop() {
    if (!Running())
        return;
    PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    // The thread only answers the hook and its own messages, so it ends at once.
    WaitForSingleObject(thread.Get(), StartWaitMs);
    thread.Reset();
    threadId = 0;
}

DWORD WINAPI WinKeyHook::ThreadProc(void* self) {
    static_cast<WinKeyHook*>(self)->Run();
    return 0;
}

void WinKeyHook::Run() {
    MSG message;
    // The thread's message queue, before Start returns and Stop may post to it.
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    timeoutMs =
        ReadRegistryDword(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LowLevelHooksTimeout", DefaultHookTimeoutMs);
    // Windows 10 honours no more than a second, whatever is set.
    if (!timeoutMs || timeoutMs > MaxHookTimeoutMs)
        timeoutMs = timeoutMs ? MaxHookTimeoutMs : DefaultHookTimeoutMs;
    // Bound now, not while the first lone press waits for the hook's answer.
    FullScreenInFront();
    hooked = Hook();
    SetEvent(ready.Get());
    if (!hooked)
        return;
    // The system answers the keyboard through this thread: it must do nothing that waits, and it must
    // keep taking its messages, which is how the hook is called.
    UINT_PTR timer = SetTimer(nullptr, 0, CheckIntervalMs, nullptr);
    DWORD lastRehook = GetTickCount();
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd) {
            DispatchMessageW(&message);
            continue;
        }
        // Windows drops a hook that answers too slowly, without telling its program. Two signs of it:
        // an answer that went out late, and input the system had that the hook did not see (or mouse
        // input, which it never sees; hooking again costs nothing then).
        int check = message.message == RehookMessage;
        if (message.message == WM_TIMER && message.wParam == timer) {
            LASTINPUTINFO input = {sizeof(input), 0};
            check = GetLastInputInfo(&input) && (LONG)(input.dwTime - lastCall) > 0;
        }
        if (check && GetTickCount() - lastRehook >= RehookSpacingMs) {
            Hook();
            lastRehook = GetTickCount();
        }
    }
    KillTimer(nullptr, timer);
    if (hook)
        UnhookWindowsHookEx(hook);
    hook = nullptr;
    current = nullptr;
}

int WinKeyHook::Hook() {
    // Removed first: with two hooks of ours in the chain each event would be counted twice.
    if (hook)
        UnhookWindowsHookEx(hook);
    current = this;
    hook = SetWindowsHookExW(WH_KEYBOARD_LL, HookProc, GetModuleHandleW(nullptr), 0);
    filter.Reset();
    lastCall = GetTickCount();
    return hook != nullptr;
}

LRESULT CALLBACK WinKeyHook::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    WinKeyHook* self = current;
    if (code == HC_ACTION && self && self->OnKey(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)))
        return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int WinKeyHook::OnKey(const KBDLLHOOKSTRUCT& key) {
    DWORD now = GetTickCount();
    int injected = (key.flags & LLKHF_INJECTED) != 0;
    // The system stamps the keyboard's own events; a late answer means it may have given up on this one.
    if (!injected && now - key.time > timeoutMs)
        PostThreadMessageW(GetCurrentThreadId(), RehookMessage, 0, 0);
    lastCall = now;
    if (injected && key.dwExtraInfo == OwnInput)
        return 0;
    if (filter.OnKey(key.vkCode, (key.flags & LLKHF_UP) != 0) != WinKeyFilter::LONE_RELEASE)
        return 0;
    // In front of a game or a presentation the key stays Windows' own.
    if (FullScreenInFront())
        return 0;
    // The release is held back and sent again after the mask key's press and release, so that the order
    // the shell sees is certain: Windows key, mask key, release. (Sent before letting the release through,
    // the mask key could reach the shell after it.)
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.dwExtraInfo = OwnInput;
    }
    inputs[0].ki.wVk = MaskKey;
    inputs[1].ki.wVk = MaskKey;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    inputs[2].ki.wVk = (WORD)key.vkCode;
    inputs[2].ki.wScan = (WORD)key.scanCode;
    inputs[2].ki.dwFlags = KEYEVENTF_KEYUP | ((key.flags & LLKHF_EXTENDED) ? KEYEVENTF_EXTENDEDKEY : 0);
    // Refused (the system blocks input into a window of a higher integrity level): the release goes on as
    // it came, so that the key is never left down, and the shell's menu opens instead of this one.
    if (SendInput(3, inputs, sizeof(INPUT)) != 3)
        return 0;
    PostMessageW(target, targetMessage, key.vkCode, 0);
    return 1;
}

int WinKeyHook::FullScreenInFront() {
    QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
    if (SHQueryUserNotificationState(&state) != S_OK)
        return 0;
    return state == QUNS_BUSY || state == QUNS_RUNNING_D3D_FULL_SCREEN;
}
