#include <stddef.h>
#include "framework/PopupMenu.h"

#include <wchar.h>

int PopupMenu::Create(HINSTANCE moduleInstance, HWND ownerWindow) {
    Destroy();
    instance = moduleInstance;
    owner = ownerWindow;
    rootMenu = CreatePopupMenu();
    currentMenu = rootMenu;
    return rootMenu != nullptr;
}

void PopupMenu::Destroy() {
    if (rootMenu)
        DestroyMenu(rootMenu);
    rootMenu = nullptr;
    currentMenu = nullptr;
}

int PopupMenu::NotifyByPosition() {
    if (!currentMenu)
        return 0;
    MENUINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIM_STYLE;
    if (!GetMenuInfo(currentMenu, &info))
        return 0;
    info.dwStyle |= MNS_NOTIFYBYPOS;
    return SetMenuInfo(currentMenu, &info) ? 1 : 0;
}

int PopupMenu::InsertItem(UINT item, Anchor anchor, const wchar_t* text, UINT state, UINT commandId, ULONG_PTR itemData,
                          ItemKind kind, HMENU submenu) {
    if (!currentMenu)
        return 0;
    MENUITEMINFOW info = {};
    // The structure without its final bitmap member: the size every Windows version accepts.
    info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE | MIIM_DATA | (submenu ? MIIM_SUBMENU : 0);
    info.fType = kind == OWNER_DRAWN ? MFT_OWNERDRAW : MFT_STRING;
    info.dwTypeData = const_cast<wchar_t*>(text);
    info.cch = text ? (UINT)wcslen(text) : 0;
    info.fState = state;
    info.wID = commandId & 0xFFFF;
    info.dwItemData = itemData;
    info.hSubMenu = submenu;
    return InsertMenuItemW(currentMenu, item, anchor == BY_COMMAND ? FALSE : TRUE, &info) ? 1 : 0;
}

int PopupMenu::Show(const POINT* point, UINT alignment) {
    return Track(point, alignment) ? 1 : 0;
}

UINT PopupMenu::Choose(const POINT* point, UINT alignment) {
    return (UINT)Track(point, alignment | TPM_RETURNCMD | TPM_NONOTIFY);
}

BOOL PopupMenu::Track(const POINT* point, UINT alignment) {
    if (!currentMenu)
        return 0;
    POINT at;
    if (point)
        at = *point;
    else
        GetCursorPos(&at);
    // The owner must be the foreground window, or the menu does not close when the user clicks
    // elsewhere; the WM_NULL afterwards makes the menu loop notice a second click on the tray icon.
    SetForegroundWindow(owner);
    // The right button chooses too, unless it is kept for the items' own context menus (WM_MENURBUTTONUP
    // reaches the owner only then).
    UINT flags = alignment | (rightButton == RIGHT_BUTTON_CHOOSES ? TPM_RIGHTBUTTON : 0);
    BOOL tracked = TrackPopupMenu(currentMenu, flags, at.x, at.y, 0, owner, nullptr);
    PostMessageW(owner, WM_NULL, 0, 0);
    return tracked;
}
