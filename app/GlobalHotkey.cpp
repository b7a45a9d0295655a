#include "app/GlobalHotkey.h"

#include <commctrl.h>

int GlobalHotkey::RegisterFor(HWND window, int id, WORD combination) {
    UINT key = LOBYTE(combination);
    BYTE flags = HIBYTE(combination);
    if (!key)
        return 0;
    UINT modifiers = 0;
    if (flags & HOTKEYF_CONTROL)
        modifiers |= MOD_CONTROL;
    if (flags & HOTKEYF_ALT)
        modifiers |= MOD_ALT;
    if (flags & HOTKEYF_SHIFT)
        modifiers |= MOD_SHIFT;
    // A held key opens the menu once, not again with every repeat; Vista does not know the flag.
    if (RegisterHotKey(window, id, modifiers | MOD_NOREPEAT, key))
        return 1;
    return GetLastError() != ERROR_HOTKEY_ALREADY_REGISTERED && RegisterHotKey(window, id, modifiers, key);
}

int GlobalHotkey::Register(HWND window, WORD combination) {
    Unregister();
    if (!RegisterFor(window, Id, combination))
        return 0;
    owner = window;
    return 1;
}

void GlobalHotkey::Unregister() {
    if (owner)
        UnregisterHotKey(owner, Id);
    owner = nullptr;
}

int GlobalHotkey::IsFree(WORD combination) {
    // A thread's own hotkey, with no window: given back at once.
    const int probe = 0xBF00;
    if (!RegisterFor(nullptr, probe, combination))
        return 0;
    UnregisterHotKey(nullptr, probe);
    return 1;
}
