#pragma once
// The keyboard shortcut that opens the menu from anywhere, registered with the system for the main
// window, which then receives WM_HOTKEY. A combination is a hotkey control's word (virtual key in the
// low byte, HOTKEYF_ modifiers in the high byte).

#include <windows.h>

#include <commctrl.h>

class GlobalHotkey {
public:
    // Ctrl+Alt+Home: Windows reserves none of the Ctrl+Alt+navigation keys, no keyboard layout types a
    // character with them (Ctrl+Alt is AltGr, so Ctrl+Alt+letter would steal characters such as @ or µ),
    // and applications seldom use them; Home stands for the start.
    // HOTKEYF_EXT: the Home key itself, not the number pad's 7, as the hotkey control names it.
    static const WORD DefaultCombination = (WORD)((HOTKEYF_CONTROL | HOTKEYF_ALT | HOTKEYF_EXT) << 8) | VK_HOME;
    static const int Id = 1;

    GlobalHotkey() = default;
    ~GlobalHotkey() { Unregister(); }
    GlobalHotkey(const GlobalHotkey&) = delete;
    GlobalHotkey& operator=(const GlobalHotkey&) = delete;

    // Registers the combination for the window (replacing the one before); 1 when the system gave it,
    // 0 when another program holds it or it is none.
    int Register(HWND window, WORD combination);
    void Unregister();
    int IsRegistered() const { return owner != nullptr; }
    // Whether the system would give the combination to a program now (tried and given back).
    static int IsFree(WORD combination);

private:
    static int RegisterFor(HWND window, int id, WORD combination);

    HWND owner = nullptr;
};
