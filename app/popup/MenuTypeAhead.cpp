#include "app/popup/MenuTypeAhead.h"

#include "app/popup/MenuItemData.h"
#include "app/popup/MenuLoopFilter.h"

#include <stddef.h>
#include <wchar.h>

// The menu windows' messages, which the SDK's headers keep to themselves.
#ifndef MN_GETHMENU
#define MN_GETHMENU 0x01E1
#endif
#ifndef MN_SELECTITEM
#define MN_SELECTITEM 0x01E5
#endif

namespace {

const DWORD NameFlags = NORM_IGNORECASE | NORM_IGNORENONSPACE;
// Longer names are compared by their beginning only; a prefix is far shorter.
const int MaxName = 512;

// An item's text as the menu shows it: the part before a tab, without the "&" marks ("&&" shows one
// "&"); *mnemonic is the underlined character, or 0.
int ShownText(const wchar_t* text, wchar_t (&shown)[MaxName], wchar_t* mnemonic) {
    int length = 0;
    *mnemonic = 0;
    for (const wchar_t* p = text; *p && *p != L'\t' && length < MaxName; p++) {
        if (*p == L'&' && p[1]) {
            p++;
            if (*p != L'&' && !*mnemonic)
                *mnemonic = *p;
        }
        shown[length++] = *p;
    }
    return length;
}

int SameCharacter(wchar_t a, wchar_t b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NameFlags, &a, 1, &b, 1) == CSTR_EQUAL;
}

// A single character also finds the item whose underlined character it is.
int NameMatches(const wchar_t* text, const wchar_t* prefix, int length) {
    wchar_t shown[MaxName];
    wchar_t mnemonic = 0;
    int shownLength = ShownText(text, shown, &mnemonic);
    if (length == 1 && mnemonic && SameCharacter(mnemonic, prefix[0]))
        return 1;
    // The user's locale decides what counts as the same letter: "a" finds "Ärger" where a and ä differ
    // only by their accent, not where ä is a letter of its own.
    return shownLength > 0 && FindNLSString(LOCALE_USER_DEFAULT, FIND_STARTSWITH | NameFlags, shown, shownLength,
                                            prefix, length, nullptr) == 0;
}

int IsSelected(HMENU menu, int position) {
    UINT state = GetMenuState(menu, (UINT)position, MF_BYPOSITION);
    return state != (UINT)-1 && (state & MF_HILITE);
}

} // namespace

int MenuTypeAhead::Start(HWND ownerWindow) {
    Stop();
    owner = ownerWindow;
    // The menu loop hands a character to the owner as WM_MENUCHAR, whose answers choose an item, close
    // the menu or beep. Windows also takes MNC_SELECT, but Wine's loop beeps at it and passes no
    // Backspace on. So the characters are taken from the loop's own message filter before it sees them,
    // and the selection moves by arrow keys posted to the loop, which both systems follow alike.
    return MenuLoopFilter::Subscribe(this);
}

void MenuTypeAhead::Stop() {
    MenuLoopFilter::Unsubscribe(this);
    open.clear();
    highHalf = 0;
    typedLength = 0;
    typedMenu = nullptr;
    steerMenu = nullptr;
}

int MenuTypeAhead::OnMenuLoopMessage(const MSG& message) {
    if (paused)
        return 0;
    OnLoopMessage(message);
    // Input methods deliver what was composed as WM_IME_CHAR, one character each.
    return (message.message == WM_CHAR || message.message == WM_IME_CHAR) &&
           OnChar((wchar_t)message.wParam, message.time);
}

void MenuTypeAhead::OnLoopMessage(const MSG& message) {
    if (!steerMenu)
        return;
    // Posted keys come before the user's input, so a step's key is the next one the loop takes. When the
    // loop takes anything else with no step under way, the last step moved nothing: the walk is over.
    if (pendingSteps == 0)
        steerMenu = nullptr;
    else if (message.message == WM_KEYDOWN && message.wParam == steerKey)
        pendingSteps--;
}

void MenuTypeAhead::OnInitMenuPopup(HMENU menu) {
    OnUninitMenuPopup(menu);
    // However deep the cascade, the innermost popup is the one that takes the keys.
    open.push_back(menu);
}

void MenuTypeAhead::OnUninitMenuPopup(HMENU menu) {
    // A popup closes with the ones opened from it.
    for (size_t i = 0; i < open.size(); i++) {
        if (open[i] == menu) {
            open.resize(i);
            break;
        }
    }
}

void MenuTypeAhead::OnMenuSelect(HMENU menu) {
    if (!steerMenu) {
        // The user moved the selection: what is typed next starts from there.
        typedLength = 0;
        return;
    }
    if (menu != steerMenu || IsSelected(menu, steerTarget) || --stepsLeft <= 0) {
        steerMenu = nullptr;
        return;
    }
    PostStep();
}

int MenuTypeAhead::SelectedItem(HMENU menu) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        if (IsSelected(menu, i))
            return i;
    }
    return -1;
}

int MenuTypeAhead::FindItem(HMENU menu, int after, const wchar_t* prefix, int length) {
    int count = GetMenuItemCount(menu);
    if (count <= 0 || length <= 0 || after < -1 || after >= count)
        return -1;
    for (int step = 1; step <= count; step++) {
        int position = (after + step) % count;
        MENUITEMINFOW info = {};
        info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_DATA;
        if (!GetMenuItemInfoW(menu, (UINT)position, TRUE, &info))
            continue;
        // Separators and the disabled "Empty" lead nowhere.
        if ((info.fType & MFT_SEPARATOR) || (info.fState & MFS_DISABLED))
            continue;
        const MenuItemData* record = MenuItemData::FromItemData(info.dwItemData);
        if (record && !record->isSeparator && record->text && NameMatches(record->text, prefix, length))
            return position;
    }
    return -1;
}

int MenuTypeAhead::Target(HMENU menu) const {
    if (typedLength == 0)
        return anchor;
    // The same character typed again: only for characters of one unit (a pair is two different halves).
    int repeated = !IS_HIGH_SURROGATE(typed[0]);
    for (int i = 1; i < typedLength && repeated; i++)
        repeated = SameCharacter(typed[i], typed[0]);
    if (!repeated || typedLength == 1)
        return FindItem(menu, anchor, typed, typedLength);
    // The same character typed again moves on to the next item that starts with it.
    int position = anchor;
    for (int i = 0; i < typedLength; i++) {
        position = FindItem(menu, position, typed, 1);
        if (position < 0)
            return -1;
    }
    return position;
}

int MenuTypeAhead::OnChar(wchar_t character, DWORD time) {
    HMENU menu = open.empty() ? nullptr : open.back();
    if (!menu)
        return 0;
    int going = typedLength > 0 && menu == typedMenu && time - lastTime <= PrefixTimeout;
    wchar_t pending = highHalf;
    highHalf = 0;
    if (IS_HIGH_SURROGATE(character)) {
        highHalf = character;
        return 1;
    }
    if (IS_LOW_SURROGATE(character)) {
        // A second half without its first matches nothing: it is dropped, quietly.
        if (!pending)
            return 1;
        wchar_t pair[2] = {pending, character};
        return AddTyped(pair, 2, menu, time);
    }
    // A space within a prefix belongs to it ("Microsoft W"); Enter, a leading space and the other
    // control characters stay the menu loop's.
    if ((character < L' ' && character != L'\b') || character == 0x7F || (character == L' ' && !going))
        return 0;
    if (character == L'\b') {
        // Backspace shortens the prefix by one character (both halves of a pair); with none it does
        // nothing, quietly.
        if (going) {
            typedLength--;
            if (typedLength > 0 && IS_HIGH_SURROGATE(typed[typedLength - 1]))
                typedLength--;
            lastTime = time;
            MoveTo(menu, Target(menu));
        }
        return 1;
    }
    return AddTyped(&character, 1, menu, time);
}

int MenuTypeAhead::AddTyped(const wchar_t* units, int count, HMENU menu, DWORD time) {
    int going = typedLength > 0 && menu == typedMenu && time - lastTime <= PrefixTimeout;
    if (!going) {
        typedLength = 0;
        typedMenu = menu;
        anchor = SelectedItem(menu);
    }
    if (typedLength + count <= MaxPrefix) {
        for (int i = 0; i < count; i++)
            typed[typedLength++] = units[i];
    }
    lastTime = time;
    int target = Target(menu);
    if (target < 0 && miss && miss->OnTypedMiss(menu, typed, typedLength)) {
        typedLength = 0;
        return 1;
    }
    // No match leaves the selection where it is, and takes the character without the loop's beep.
    MoveTo(menu, target);
    return 1;
}

void MenuTypeAhead::MoveTo(HMENU menu, int position) {
    int current = SelectedItem(menu);
    int count = GetMenuItemCount(menu);
    if (position < 0 || position == current || count <= 0)
        return;
    // The shorter way round; from no selection Down reaches the first item and Up the last.
    int down = current < 0 ? position + 1 : (position - current + count) % count;
    int up = current < 0 ? count - position : count - down;
    steerKey = down <= up ? VK_DOWN : VK_UP;
    steerMenu = menu;
    steerTarget = position;
    // Windows' menu windows take MN_SELECTITEM and select the item at once, however far it is; Wine's
    // ignore it, and there the selection moves by arrow keys, one step each. (Set to steer first: the
    // WM_MENUSELECT it sends is this move, not the user's.)
    if (HWND window = PopupWindowOf(menu)) {
        SendMessageW(window, MN_SELECTITEM, (WPARAM)position, 0);
        if (IsSelected(menu, position)) {
            steerMenu = nullptr;
            return;
        }
    }
    // Each step is checked as its WM_MENUSELECT arrives, and the next one posted from there.
    stepsLeft = count;
    pendingSteps = 0;
    PostStep();
}

HWND MenuTypeAhead::PopupWindowOf(HMENU menu) {
    struct Search {
        HMENU menu;
        HWND found;
        static BOOL CALLBACK Each(HWND window, LPARAM parameter) {
            Search* search = reinterpret_cast<Search*>(parameter);
            wchar_t name[16] = L"";
            GetClassNameW(window, name, 16);
            if (wcscmp(name, L"#32768") != 0 || (HMENU)SendMessageW(window, MN_GETHMENU, 0, 0) != search->menu)
                return TRUE;
            search->found = window;
            return FALSE;
        }
    } search = {menu, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), Search::Each, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void MenuTypeAhead::PostStep() {
    // A key message as the keyboard makes it: one press of the extended arrow key.
    LPARAM keyData = 1 | ((LPARAM)MapVirtualKeyW((UINT)steerKey, MAPVK_VK_TO_VSC) << 16) | (1 << 24);
    if (PostMessageW(owner, WM_KEYDOWN, steerKey, keyData))
        pendingSteps++;
    else
        steerMenu = nullptr;
}
