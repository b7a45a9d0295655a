#pragma once
// What the About box needs of the keys that open the program's menu, which the application holds: the
// shortcut's combination, whether it is the program's, and a change applied at once; and whether the
// Windows key alone opens it. A combination is a hotkey control's word: the virtual key in the low byte,
// HOTKEYF_ modifiers in the high byte; 0 is none.

#include <windows.h>

class HotkeySetting {
public:
    virtual WORD Hotkey() = 0;
    // 1 when the system gives the combination to this program; 0 when another program holds it.
    virtual int HotkeyAvailable() = 0;
    // Applies the combination, and stores it once the system gave it: 1 then; 0 when it is taken or
    // none, and the combination before stays in use and stored.
    virtual int ChangeHotkey(WORD hotkey) = 0;
    // Whether the Windows key pressed alone opens the menu; changed at once and stored, 1 when done.
    virtual int WinKeyOpens() = 0;
    virtual int ChangeWinKey(int opens) = 0;

protected:
    ~HotkeySetting() = default;
};
