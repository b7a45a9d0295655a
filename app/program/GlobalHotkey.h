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

    GlobalHotkey() = default;
    ~GlobalHotkey() { Unregister(); }
    GlobalHotkey(const GlobalHotkey&) = delete;
    GlobalHotkey& operator=(const GlobalHotkey&) = delete;

    // Registers the combination for the window in place of the one before, which stays registered
    // unless the system gives the new one; 1 when the window holds the combination now, 0 when another
    // program holds it or it is none.
    int Register(HWND window, WORD combination);
    void Unregister();
    // Whether the window holds these keys (the control's HOTKEYF_EXT aside).
    int Holds(WORD combination) const;
    // Whether a WM_HOTKEY's identifier is the one of the combination held now.
    int IsCurrentId(WPARAM id) const { return owner && id == (WPARAM)currentId; }
    // Whether the system would give the combination to a program now (tried and given back).
    static int IsFree(WORD combination);

private:
    static int RegisterFor(HWND window, int id, WORD combination);
    static UINT Modifiers(WORD combination);

    HWND owner = nullptr;
    int currentId = 0;
    WORD held = 0;
};
