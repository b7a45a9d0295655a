#include "app/program/GlobalHotkey.h"

#include <commctrl.h>

namespace {

// RegisterHotKey with an identifier the window already uses keeps the old hotkey beside the new one,
// and UnregisterHotKey would then free either: the new combination is tried under the other identifier.
const int FirstId = 1;
const int SecondId = 2;

} // namespace

UINT GlobalHotkey::Modifiers(WORD combination) {
    BYTE flags = HIBYTE(combination);
    UINT modifiers = 0;
    if (flags & HOTKEYF_CONTROL)
        modifiers |= MOD_CONTROL;
    if (flags & HOTKEYF_ALT)
        modifiers |= MOD_ALT;
    if (flags & HOTKEYF_SHIFT)
        modifiers |= MOD_SHIFT;
    return modifiers;
}

int GlobalHotkey::RegisterFor(HWND window, int id, WORD combination) {
    UINT key = LOBYTE(combination);
    if (!key)
        return 0;
    UINT modifiers = Modifiers(combination);
    // A held key opens the menu once, not again with every repeat; Vista does not know the flag.
    if (RegisterHotKey(window, id, modifiers | MOD_NOREPEAT, key))
        return 1;
    return GetLastError() != ERROR_HOTKEY_ALREADY_REGISTERED && RegisterHotKey(window, id, modifiers, key);
}

int GlobalHotkey::Register(HWND window, WORD combination) {
    // Our own keys again: trying them would find them taken, by this window.
    if (owner == window && Holds(combination)) {
        held = combination;
        return 1;
    }
    int id = owner && currentId == FirstId ? SecondId : FirstId;
    if (!RegisterFor(window, id, combination))
        return 0;
    Unregister();
    owner = window;
    currentId = id;
    held = combination;
    return 1;
}

void GlobalHotkey::Unregister() {
    if (owner)
        UnregisterHotKey(owner, currentId);
    owner = nullptr;
}

int GlobalHotkey::Holds(WORD combination) const {
    return owner && LOBYTE(combination) && LOBYTE(combination) == LOBYTE(held) &&
           Modifiers(combination) == Modifiers(held);
}

int GlobalHotkey::IsFree(WORD combination) {
    // A thread's own hotkey, with no window: given back at once.
    const int probe = 0xBF00;
    if (!RegisterFor(nullptr, probe, combination))
        return 0;
    UnregisterHotKey(nullptr, probe);
    return 1;
}
