#pragma once
// The record every item of one of our menus carries as its item data, tying it back to its node.

#include <windows.h>

#include <oleacc.h>

class MenuNode;
class OwnerDrawMenu;

struct MenuItemData {
    // First, where the system's menu accessibility looks for an owner-drawn item's name: screen readers
    // read the signature, the text and its length from the start of the item data.
    MSAAMENUINFO accessible = {MSAA_MENU_SIG, 0, nullptr};
    OwnerDrawMenu* owner = nullptr;
    MenuNode* node = nullptr;
    wchar_t* text = nullptr; // owned; null for a separator
    int imageIndex = -1;
    // The menu whose image list holds the image, when it is not the item's own: a search's results show
    // the images of their folders' popups, not copies of them.
    OwnerDrawMenu* imageOwner = nullptr;
    int isSeparator = 0;
    // The item opens a popup: the arrow is ours to draw.
    int opensPopup = 0;
    // The item can never be chosen ("Empty", a search's heading): drawn grey and never highlighted by what
    // it is, as Wine reports no ODS_DISABLED for such an item and Windows lets the keyboard select it.
    int inert = 0;
    HMENU menu = nullptr;
    // The size measured for the item's text, kept for the next time the menu opens (0: not measured).
    UINT measuredWidth = 0;
    UINT measuredHeight = 0;

    // Takes over an allocated text (new[]), freeing the one before, and tells screen readers.
    void SetText(wchar_t* owned) {
        delete[] text;
        text = owned;
        accessible.cchWText = text ? (DWORD)lstrlenW(text) : 0;
        accessible.pszWText = text;
    }

    // A new record, known to FromItemData until Delete; null when there is no memory.
    static MenuItemData* New();
    static void Delete(MenuItemData* record);
    // The record behind an item's data, or null when the item is not one of ours. Other menus shown in the
    // same loop (the shell's context menu and its extensions' submenus) carry data of their own: handles,
    // small numbers, pointers to their own structures. The value is looked up among the records alive, never
    // read as an address.
    static MenuItemData* FromItemData(ULONG_PTR data);

private:
    MenuItemData() = default;
    ~MenuItemData() { SetText(nullptr); }
};
