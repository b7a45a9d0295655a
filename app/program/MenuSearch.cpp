#include "app/program/MenuSearch.h"

#include "app/popup/MenuLoopFilter.h"
#include "app/program/MenuSession.h"

int MenuSearch::Start(HWND ownerWindow, MenuSession& menuSession, MenuTypeAhead& letters, int wanted) {
    Stop();
    owner = ownerWindow;
    session = &menuSession;
    typeAhead = &letters;
    enabled = wanted;
    showResults = 0;
    switching = 0;
    length = 0;
    anchored = 0;
    if (!enabled)
        return 1;
    typeAhead->SetMiss(this);
    return MenuLoopFilter::Subscribe(this);
}

void MenuSearch::Stop() {
    MenuLoopFilter::Unsubscribe(this);
    if (typeAhead)
        typeAhead->SetMiss(nullptr);
    rootHandle = nullptr;
}

int MenuSearch::Show(OwnerDrawMenu& root, POINT point, UINT alignment) {
    rootHandle = root.Handle();
    rootAlignment = alignment;
    if (!showResults || !session)
        return root.Show(&point, alignment);
    text[length] = 0;
    if (session->Search(text) < 0)
        return root.Show(&point, alignment);
    OwnerDrawMenu& results = session->Results().Menu();
    return anchored ? results.Show(&anchor, anchorAlignment) : results.Show(&point, alignment);
}

int MenuSearch::TakeSwitch() {
    int was = switching;
    switching = 0;
    return was;
}

void MenuSearch::OnInitMenuPopup(HMENU menu) {
    if (showResults && session && menu == session->Results().Handle() && session->Results().Count() > 0)
        typeAhead->Select(menu, SearchResults::FirstMatch);
}

int MenuSearch::OnTypedMiss(HMENU menu, const wchar_t* typed, int typedLength) {
    if (!enabled || showResults || !menu || menu != rootHandle || typedLength <= 0)
        return 0;
    length = typedLength < MaxText ? typedLength : MaxText;
    wmemcpy(text, typed, length);
    // The results take the corner of the root that its alignment anchors, wherever the system placed it.
    RECT rect;
    HWND window = MenuTypeAhead::PopupWindowOf(menu);
    anchored = window && GetWindowRect(window, &rect);
    if (anchored) {
        // Opened above the taskbar (bottom-aligned), the results sit on it too, and grow upwards.
        anchorAlignment = rootAlignment & (TPM_CENTERALIGN | TPM_RIGHTALIGN | TPM_BOTTOMALIGN);
        anchor.x = (rootAlignment & TPM_RIGHTALIGN)    ? rect.right
                   : (rootAlignment & TPM_CENTERALIGN) ? (rect.left + rect.right) / 2
                                                       : rect.left;
        anchor.y = (rootAlignment & TPM_BOTTOMALIGN) ? rect.bottom : rect.top;
    }
    SwitchTo(1);
    return 1;
}

void MenuSearch::SwitchTo(int resultsWanted) {
    showResults = resultsWanted;
    if (!resultsWanted)
        length = 0;
    switching = 1;
    EndMenu();
}

int MenuSearch::OnMenuLoopMessage(const MSG& message) {
    // The shell's context menu over a match takes its own letters and Escape: its popups are not among
    // those the type-ahead counts, so the results would still look innermost.
    if (!showResults || !session || !typeAhead || typeAhead->Paused() ||
        typeAhead->OpenMenu() != session->Results().Handle())
        return 0;
    return OnResultsKey(message);
}

int MenuSearch::OnResultsKey(const MSG& message) {
    HMENU results = session->Results().Handle();
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        SwitchTo(0);
        return 1;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        // The selected match is chosen by the menu's loop as any item; the heading or nothing selected
        // starts the first match, as the choice of its item would.
        if (MenuTypeAhead::SelectedItem(results) >= SearchResults::FirstMatch)
            return 0;
        if (session->Results().Count() > 0) {
            PostMessageW(owner, WM_MENUCOMMAND, SearchResults::FirstMatch, (LPARAM)results);
            EndMenu();
        }
        return 1;
    }
    if (message.message != WM_CHAR && message.message != WM_IME_CHAR)
        return 0;
    wchar_t character = (wchar_t)message.wParam;
    if (character == L'\b') {
        // One character back, both halves of a pair; with nothing left the whole root comes back.
        if (length > 0)
            length--;
        if (length > 0 && IS_HIGH_SURROGATE(text[length - 1]))
            length--;
        SwitchTo(length > 0);
        return 1;
    }
    // Enter and the other control characters stay the menu loop's.
    if (character < L' ' || character == 0x7F)
        return 0;
    if (length < MaxText) {
        text[length++] = character;
        // The second half of a pair follows at once: the search waits for it.
        if (IS_HIGH_SURROGATE(character))
            return 1;
    }
    SwitchTo(1);
    return 1;
}
