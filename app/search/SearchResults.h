#pragma once
// The popup that shows a search: the typed text as a disabled heading, then the matches with the icons
// their folders' popups show them with, a folder opening its own popup as it does anywhere else. With no
// match, one disabled line says so. The folders' popups are lent: they are taken back out before this
// popup goes, so that they stay their folders'.

#include "app/popup/OwnerDrawMenu.h"
#include "app/search/TreeSearch.h"

#include <windows.h>

#include <vector>

class SearchResults {
public:
    SearchResults() = default;
    ~SearchResults() { Destroy(); }
    SearchResults(const SearchResults&) = delete;
    SearchResults& operator=(const SearchResults&) = delete;

    // Builds the popup anew for a monitor of those dots per inch. The popups of the matches' folders must
    // be filled (an entry's icon is read from its item there); a folder without a popup is left out. The
    // number of matches shown, -1 when the popup could not be made.
    int Build(HINSTANCE instance, HWND owner, UINT dpi, const wchar_t* heading,
              const std::vector<TreeSearch::Match>& matches, const wchar_t* noMatch);
    void Destroy();

    OwnerDrawMenu& Menu() { return menu; }
    HMENU Handle() const { return menu.Handle(); }
    // The position of the first match in the popup (after the heading).
    static const int FirstMatch = 1;
    int Count() const { return shown; }

    // Adds an item for a node of any folder to the popup, before that position (-1: at the end), with the
    // image its folder's popup shows it with (that popup filled, and outliving the item) or its own icon;
    // a folder's item opens the folder's popup, lent. 0 when nothing was added (a folder without a popup).
    static int AddNode(OwnerDrawMenu& menu, MenuNode& node, int position);

private:

    OwnerDrawMenu menu;
    int shown = 0;
};
