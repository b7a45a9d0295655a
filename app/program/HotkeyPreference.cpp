#include "app/program/HotkeyPreference.h"

#include "app/program/TrayInstance.h"

namespace {

// Between processes a registered message, as Windows has cooperating programs do: every copy of the
// program, 32-bit or 64-bit, gets the same number, which no other program's windows take for theirs.
UINT RequestMessage() {
    static const UINT message = RegisterWindowMessageW(L"Koravent.Veltrix.Hotkey");
    return message;
}

// The resident instance answers from its own thread, which may be in a menu or a dialog loop; a hung
// one must not hang the About box with it.
const UINT RequestTimeoutMs = 3000;

} // namespace

int HotkeyPreference::RegisterStored() {
    if (!window)
        return 0;
    if (WinKeyOpens())
        winKey.Start(window, winKeyPosted);
    return hotkey.Register(window, Hotkey());
}

WORD HotkeyPreference::Hotkey() {
    return settings ? (WORD)settings->ReadInt(L"Hotkey", GlobalHotkey::DefaultCombination)
                    : GlobalHotkey::DefaultCombination;
}

int HotkeyPreference::HotkeyAvailable() {
    WORD combination = Hotkey();
    if (window)
        return hotkey.Holds(combination);
    // The resident instance's own combination is not free, yet it is not another program's either.
    int answer = 0;
    if (AskResident(combination, HOTKEY_ASK, &answer))
        return answer;
    return GlobalHotkey::IsFree(combination);
}

int HotkeyPreference::ChangeHotkey(WORD combination) {
    // Stored only once the system gives it: a taken combination must not replace the working one,
    // neither now nor at the next start. Nor must a word without a key, which the control reports while
    // only modifiers are down, and keeps when another program's hotkey swallowed the key itself.
    if (window) {
        if (!hotkey.Register(window, combination))
            return 0;
    } else {
        // The resident instance holds the hotkey: it tries the change and stores what it gets.
        int answer = 0;
        if (AskResident(combination, HOTKEY_CHANGE, &answer))
            return answer;
        if (!GlobalHotkey::IsFree(combination))
            return 0;
    }
    if (settings)
        settings->WriteInt(L"Hotkey", combination);
    return 1;
}

int HotkeyPreference::WinKeyOpens() {
    return settings ? settings->ReadInt(L"WinKey", 1) != 0 : 1;
}

int HotkeyPreference::ChangeWinKey(int opens) {
    if (window) {
        // Stored even when the hook could not be placed: the next start tries again.
        if (opens)
            winKey.Start(window, winKeyPosted);
        else
            winKey.Stop();
    } else {
        int answer = 0;
        // A resident instance stores the choice as it applies it.
        if (AskResident((WORD)(opens ? 1 : 0), WINKEY_CHANGE, &answer))
            return answer;
    }
    if (settings)
        settings->WriteInt(L"WinKey", opens ? 1 : 0);
    return 1;
}

int HotkeyPreference::IsRequest(UINT message) {
    // RegisterWindowMessageW fails with 0, which is WM_NULL.
    return message && message == RequestMessage();
}

LRESULT HotkeyPreference::OnRequest(WPARAM combination, LPARAM request) {
    if (!window)
        return 0;
    // The low word alone: the sender may be the other bitness, with a wParam of another width.
    WORD keys = (WORD)combination;
    if (request == WINKEY_CHANGE)
        return ChangeWinKey(keys != 0);
    return request == HOTKEY_CHANGE ? ChangeHotkey(keys) : hotkey.Holds(keys);
}

int HotkeyPreference::AskResident(WORD combination, Request request, int* answer) {
    HWND resident = TrayInstance::FindRunning();
    if (!resident || !RequestMessage())
        return 0;
    DWORD_PTR result = 0;
    // Unanswered (hung, or out of reach of a less privileged sender): nothing was changed there, and
    // nothing is stored here.
    if (!SendMessageTimeoutW(resident, RequestMessage(), combination, request, SMTO_ABORTIFHUNG, RequestTimeoutMs,
                             &result))
        result = 0;
    *answer = result == 1;
    return 1;
}
