#include <stddef.h>
#include "app/OwnerDrawMenu.h"

#include <new>
#include <wchar.h>

namespace {

// Items are appended: any position past the end inserts at the end.
const UINT AtTheEnd = 1000;

} // namespace

int OwnerDrawMenu::Create(HINSTANCE moduleInstance, HWND ownerWindow) {
    Destroy();
    return PopupMenu::Create(moduleInstance, ownerWindow);
}

int OwnerDrawMenu::AddItem(const wchar_t* text, UINT state, UINT identifier, MenuNode* node, int /*iconId*/,
                           HMENU submenu, HICON /*icon*/) {
    MenuItemData* record = new (std::nothrow) MenuItemData;
    if (!record)
        return 0;
    size_t length = text ? wcslen(text) : 0;
    record->text = new (std::nothrow) wchar_t[length + 1];
    if (!record->text) {
        delete record;
        return 0;
    }
    wmemcpy(record->text, text ? text : L"", length + 1);
    record->owner = this;
    record->node = node;
    record->menu = currentMenu;
    if (!InsertItem(AtTheEnd, 0, record->text, state, identifier, (ULONG_PTR)record, 0, submenu)) {
        delete[] record->text;
        delete record;
        return 0;
    }
    return 1;
}

int OwnerDrawMenu::AddSeparator(MenuNode* node) {
    MenuItemData* record = new (std::nothrow) MenuItemData;
    if (!record)
        return 0;
    record->owner = this;
    record->node = node;
    record->isSeparator = 1;
    record->menu = currentMenu;
    MENUITEMINFOW info = {};
    info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
    info.fMask = MIIM_ID | MIIM_TYPE | MIIM_DATA;
    info.fType = MFT_SEPARATOR;
    info.dwItemData = (ULONG_PTR)record;
    if (!currentMenu || !InsertMenuItemW(currentMenu, AtTheEnd, TRUE, &info)) {
        delete record;
        return 0;
    }
    return 1;
}

void OwnerDrawMenu::FreeRecords(HMENU menu) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        MENUITEMINFOW info = {};
        info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
        info.fMask = MIIM_DATA | MIIM_SUBMENU;
        if (!GetMenuItemInfoW(menu, i, TRUE, &info))
            continue;
        if (info.hSubMenu)
            FreeRecords(info.hSubMenu);
        if (MenuItemData* record = MenuItemData::FromItemData(info.dwItemData)) {
            // Detach the record from its item first, so it can never be freed twice.
            MENUITEMINFOW clear = {};
            clear.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
            clear.fMask = MIIM_DATA;
            clear.dwItemData = 0;
            SetMenuItemInfoW(menu, i, TRUE, &clear);
            record->magic = 0;
            delete[] record->text;
            delete record;
        }
    }
}

void OwnerDrawMenu::Destroy() {
    // A child's popup is destroyed with its parent's; by the time the child's own Destroy runs the
    // handle is gone and IsMenu says so.
    if (rootMenu && IsMenu(rootMenu))
        FreeRecords(rootMenu);
    else
        rootMenu = nullptr;
    PopupMenu::Destroy();
}
