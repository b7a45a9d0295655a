#pragma once
// The Windows key pressed and released alone, taken from the shell for the program: a low-level
// keyboard hook on a thread of its own, which only answers the hook and posts each lone press to a
// window. Everything else goes on to Windows untouched.

#include "app/program/WinKeyFilter.h"
#include "base/KernelHandle.h"

#include <windows.h>

class WinKeyHook {
public:
    // The key sent between the Windows key's press and release so that the shell sees a combination and
    // leaves its own menu shut: 0xE8, which Windows lists as unassigned, so no program and no layout acts
    // on it (the usual choices bring up something: Ctrl is a modifier programs watch, 0x07 the Game Bar).
    static const WORD MaskKey = 0xE8;
    // Tags the events the hook sends itself, which it lets through without looking at them.
    static const ULONG_PTR OwnInput = 0x56584B4D;
    // How often the thread makes sure the system has not dropped the hook.
    static const UINT CheckIntervalMs = 30000;

    WinKeyHook() = default;
    ~WinKeyHook() { Stop(); }
    WinKeyHook(const WinKeyHook&) = delete;
    WinKeyHook& operator=(const WinKeyHook&) = delete;

    // Hooks the keyboard; each lone press is then posted to the window as that message. 1 when the hook
    // is in place (it already was, too); one hook per process.
    int Start(HWND window, UINT message);
    void Stop();
    int Running() const { return thread.Valid(); }

private:
    static DWORD WINAPI ThreadProc(void* self);
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    static int KeyIsDown(UINT virtualKey) { return GetAsyncKeyState((int)virtualKey) < 0; }
    // The hook thread's life: hooks, reports how it went, then answers the hook until told to end.
    void Run();
    int Hook();
    // 1 when the event is swallowed: the lone release, sent again after the mask key.
    int OnKey(const KBDLLHOOKSTRUCT& key);
    static int FullScreenInFront();

    HWND target = nullptr;
    UINT targetMessage = 0;
    KernelHandle thread;
    KernelHandle ready;
    DWORD threadId = 0;
    // Set and used on the hook's thread only.
    HHOOK hook = nullptr;
    int hooked = 0;
    DWORD timeoutMs = 0;
    DWORD lastCall = 0;
    WinKeyFilter filter{KeyIsDown};
};
