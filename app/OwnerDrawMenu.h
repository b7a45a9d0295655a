#pragma once
// The popup menu of one folder of the tree: every item carries a record that leads back to its node.

#include "app/MenuItemData.h"
#include "framework/PopupMenu.h"

class MenuNode;

class OwnerDrawMenu : public PopupMenu {
public:
    OwnerDrawMenu() = default;
    ~OwnerDrawMenu() override { Destroy(); }

    int Create(HINSTANCE moduleInstance, HWND ownerWindow);
    // Appends an item; iconId is an icon resource (-1 for none), icon a handle that is copied.
    int AddItem(const wchar_t* text, UINT state, UINT identifier, MenuNode* node, int iconId, HMENU submenu,
                HICON icon);
    int AddSeparator(MenuNode* node);
    // Frees the records of this popup and its submenus, then destroys the popup.
    void Destroy() override;

private:
    static void FreeRecords(HMENU menu);
};
