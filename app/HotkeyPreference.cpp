#include "app/HotkeyPreference.h"

WORD HotkeyPreference::Hotkey() {
    return settings ? (WORD)settings->ReadInt(L"Hotkey", GlobalHotkey::DefaultCombination)
                    : GlobalHotkey::DefaultCombination;
}

int HotkeyPreference::HotkeyAvailable() {
    // A once-mode run registers nothing: it can only tell whether the system would give the combination.
    return window ? hotkey.Holds(Hotkey()) : GlobalHotkey::IsFree(Hotkey());
}

int HotkeyPreference::ChangeHotkey(WORD combination) {
    // Stored only once the system gives it: a taken combination must not replace the working one,
    // neither now nor at the next start. Nor must a word without a key, which the control reports while
    // only modifiers are down, and keeps when another program's hotkey swallowed the key itself.
    if (window ? !hotkey.Register(window, combination) : !GlobalHotkey::IsFree(combination))
        return 0;
    if (settings)
        settings->WriteInt(L"Hotkey", combination);
    return 1;
}
