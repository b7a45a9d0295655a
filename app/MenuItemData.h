#pragma once
// The record every item of one of our menus carries as its item data, tying it back to its node.

#include <windows.h>

class MenuNode;
class OwnerDrawMenu;

struct MenuItemData {
    static const unsigned Magic = 0x6D656E78;

    unsigned magic = Magic;
    OwnerDrawMenu* owner = nullptr;
    MenuNode* node = nullptr;
    wchar_t* text = nullptr; // owned; null for a separator
    int imageIndex = -1;
    int isSeparator = 0;
    HMENU menu = nullptr;
    // The size measured for the item's text, kept for the next time the menu opens (0: not measured).
    UINT measuredWidth = 0;
    UINT measuredHeight = 0;

    // The record behind an item's data, or null when the item is not one of ours.
    static MenuItemData* FromItemData(ULONG_PTR data) {
        MenuItemData* record = reinterpret_cast<MenuItemData*>(data);
        return record && record->magic == Magic ? record : nullptr;
    }
};
