#pragma once
// Tells a Windows key pressed and released alone from one that is part of a combination, from the key
// events a low-level keyboard hook sees, in their order. Only the lone release is the program's; every
// other event goes on to Windows untouched.

#include <windows.h>

class WinKeyFilter {
public:
    enum Verdict : int { PASS = 0, LONE_RELEASE = 1 };
    // Whether a key the filter saw go down is still down (the keyboard's state, in the hook
    // GetAsyncKeyState): a release the hook never saw (input to an elevated window) must not leave the
    // key counted as held for ever.
    typedef int (*KeyIsDown)(UINT virtualKey);

    explicit WinKeyFilter(KeyIsDown isDown) : isDown(isDown) {}

    // A key event as the hook reports it: its virtual key and whether it is the release.
    Verdict OnKey(UINT virtualKey, int released);
    // Forgets the press under way, as when the hook was installed again and may have missed events.
    void Reset();

private:
    static int IsWinKey(UINT virtualKey) { return virtualKey == VK_LWIN || virtualKey == VK_RWIN; }
    int OtherKeyHeld(UINT winKey);
    int Held(UINT key) const { return key < 256 && (held[key / 32] >> (key % 32)) & 1; }
    void SetHeld(UINT key, int down);

    KeyIsDown isDown;
    DWORD held[256 / 32] = {};
    // The Windows key whose press may still be a lone one, and whether nothing else came since.
    UINT pressed = 0;
    int alone = 0;
};
