#include "app/HotkeyPreference.h"

WORD HotkeyPreference::Hotkey() {
    return settings ? (WORD)settings->ReadInt(L"Hotkey", GlobalHotkey::DefaultCombination)
                    : GlobalHotkey::DefaultCombination;
}

int HotkeyPreference::HotkeyAvailable() {
    // A once-mode run registers nothing: it can only tell whether the system would give the combination.
    return window ? hotkey.IsRegistered() : GlobalHotkey::IsFree(Hotkey());
}

int HotkeyPreference::ChangeHotkey(WORD combination) {
    if (settings)
        settings->WriteInt(L"Hotkey", combination);
    return window ? hotkey.Register(window, combination) : GlobalHotkey::IsFree(combination);
}
