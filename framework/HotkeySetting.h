#pragma once
// What the About box needs of the program's keyboard shortcut, which the application registers: the
// combination in use, whether it is the program's, and a change applied at once. A combination is a
// hotkey control's word: the virtual key in the low byte, HOTKEYF_ modifiers in the high byte; 0 is none.

#include <windows.h>

class HotkeySetting {
public:
    virtual WORD Hotkey() = 0;
    // 1 when the system gives the combination to this program; 0 when another program holds it.
    virtual int HotkeyAvailable() = 0;
    // Applies the combination, and stores it once the system gave it: 1 then; 0 when it is taken or
    // none, and the combination before stays in use and stored.
    virtual int ChangeHotkey(WORD hotkey) = 0;

protected:
    ~HotkeySetting() = default;
};
