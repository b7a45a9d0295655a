#pragma once
// A popup menu with items inserted at positions, tracked at a point with the foreground handling a
// hidden owner window needs.

#include <windows.h>

class PopupMenu {
public:
    PopupMenu() = default;
    virtual ~PopupMenu() { Destroy(); }
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    int Create(HINSTANCE moduleInstance, HWND ownerWindow);
    virtual void Destroy();
    // Choices then arrive at the owner as WM_MENUCOMMAND with the position and the menu.
    int NotifyByPosition();
    // byCommand 1: insert before the item with that command id; otherwise at that position.
    int InsertItem(UINT item, int byCommand, const wchar_t* text, UINT state, UINT commandId, ULONG_PTR itemData,
                   int ownerDraw, HMENU submenu);
    // Tracks the menu at the point (the mouse when null); returns when the menu has closed.
    int Show(const POINT* point);

    HMENU Handle() const { return currentMenu; }
    // 1 (the default): a right click chooses an item as the left does; 0 keeps it for a context menu.
    void SetRightButtonChooses(int chooses) { rightButtonChooses = chooses; }
    HWND Owner() const { return owner; }
    HINSTANCE Instance() const { return instance; }

protected:
    HWND owner = nullptr;
    HINSTANCE instance = nullptr;
    HMENU rootMenu = nullptr;
    HMENU currentMenu = nullptr;
    int rightButtonChooses = 1;
};
