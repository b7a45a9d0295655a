#pragma once
// The search of the open menu. Letters typed into the root popup that match none of its items search the
// whole tree instead, and the results take the root's place where it stood (the menu's loop ends and the
// results are shown in its stead). In the results the letters refine the search, Backspace edits it (with
// nothing left the root comes back), Escape goes back to the whole root (a second Escape closes it), and
// Enter starts the selected match, or the first one when the heading or nothing is selected. The first
// match is selected as the results open. In a folder opened from the results, typing is the folder's.

#include "app/popup/MenuLoopListener.h"
#include "app/popup/MenuTypeAhead.h"
#include "app/popup/TypeAheadMiss.h"

#include <windows.h>

class MenuSession;
class OwnerDrawMenu;

class MenuSearch : public MenuLoopListener, public TypeAheadMiss {
public:
    static const int MaxText = MenuTypeAhead::MaxPrefix;

    MenuSearch() = default;
    ~MenuSearch() override { Stop(); }
    MenuSearch(const MenuSearch&) = delete;
    MenuSearch& operator=(const MenuSearch&) = delete;

    // Before the type-ahead starts, so that the keys of the results are read here first. With enabled 0
    // the letters stay the type-ahead's alone.
    int Start(HWND owner, MenuSession& session, MenuTypeAhead& typeAhead, int enabled);
    void Stop();
    int Enabled() const { return enabled; }

    // Shows the root at the point, or the results where the root stood; returns when the menu closed.
    int Show(OwnerDrawMenu& root, POINT point, UINT alignment);
    // 1 once after the menu was closed to show the other popup (a search began, changed or ended).
    int TakeSwitch();
    // The owner window hands this on: the results' first match is selected as they open.
    void OnInitMenuPopup(HMENU menu);

private:
    int OnMenuLoopMessage(const MSG& message) override;
    int OnTypedMiss(HMENU menu, const wchar_t* typed, int length) override;
    // A key typed while the results are the innermost popup; 1 when it was taken.
    int OnResultsKey(const MSG& message);
    // Ends the menu's loop to show the results of the text now, or the root when resultsWanted is 0.
    void SwitchTo(int resultsWanted);

    HWND owner = nullptr;
    MenuSession* session = nullptr;
    MenuTypeAhead* typeAhead = nullptr;
    HMENU rootHandle = nullptr;
    int enabled = 0;
    int showResults = 0;
    int switching = 0;
    wchar_t text[MaxText + 1] = {};
    int length = 0;
    // Where the root stood: the corner its alignment anchors it by, and that alignment.
    POINT anchor = {0, 0};
    UINT anchorAlignment = 0;
    UINT rootAlignment = 0;
    int anchored = 0;
};
