#include "app/program/WinKeyFilter.h"

WinKeyFilter::Verdict WinKeyFilter::OnKey(UINT virtualKey, int released) {
    virtualKey &= 0xFF;
    if (!released) {
        // A key held down repeats its press; the Windows key's repeats are still the same press. Unless it
        // is up meanwhile: its release went where the hook does not see (Win+L's to the lock screen).
        if (virtualKey == pressed && (!isDown || isDown(virtualKey)))
            return PASS;
        if (virtualKey == pressed)
            pressed = 0;
        if (IsWinKey(virtualKey) && !pressed) {
            // A combination that began before it (Shift+Win opens Windows' own menu, Ctrl+Win+D
            // a desktop) stays the combination it is.
            pressed = virtualKey;
            alone = !OtherKeyHeld(virtualKey);
        } else {
            alone = 0;
        }
        SetHeld(virtualKey, 1);
        return PASS;
    }
    SetHeld(virtualKey, 0);
    if (virtualKey != pressed) {
        // Any other key's release in between makes it a combination too, even one whose press was not
        // seen here.
        alone = 0;
        return PASS;
    }
    Verdict verdict = alone ? LONE_RELEASE : PASS;
    pressed = 0;
    alone = 0;
    return verdict;
}

void WinKeyFilter::Reset() {
    pressed = 0;
    alone = 0;
}

int WinKeyFilter::OtherKeyHeld(UINT winKey) {
    int other = 0;
    for (UINT key = 1; key < 256; ++key) {
        if (key == winKey || !Held(key))
            continue;
        if (!isDown || isDown(key))
            other = 1;
        else
            SetHeld(key, 0);
    }
    return other;
}

void WinKeyFilter::SetHeld(UINT key, int down) {
    DWORD bit = (DWORD)1 << (key % 32);
    held[key / 32] = down ? held[key / 32] | bit : held[key / 32] & ~bit;
}
