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

    // Where InsertItem puts the item: before the item at that position, or before the one with that command id.
    enum Anchor : int { BY_POSITION = 0, BY_COMMAND = 1 };
    enum ItemKind : int { TEXT_ITEM = 0, OWNER_DRAWN = 1 };
    // What a right click on an item does: choose it as the left button does, or leave it to a context menu.
    enum RightButton : int { RIGHT_BUTTON_FOR_CONTEXT_MENU = 0, RIGHT_BUTTON_CHOOSES = 1 };

    int Create(HINSTANCE moduleInstance, HWND ownerWindow);
    virtual void Destroy();
    // Choices then arrive at the owner as WM_MENUCOMMAND with the position and the menu.
    int NotifyByPosition();
    int InsertItem(UINT item, Anchor anchor, const wchar_t* text, UINT state, UINT commandId, ULONG_PTR itemData,
                   ItemKind kind, HMENU submenu);
    // Tracks the menu at the point (the mouse when null), placed beside it by TrackPopupMenu's alignment
    // flags (0: below and to the right); returns when the menu has closed.
    int Show(const POINT* point, UINT alignment = 0);
    // Tracks the menu the same way and returns the command id of the item chosen, 0 when none was.
    UINT Choose(const POINT* point, UINT alignment = 0);

    HMENU Handle() const { return currentMenu; }
    // RIGHT_BUTTON_CHOOSES is the default.
    void SetRightButton(RightButton use) { rightButton = use; }
    HWND Owner() const { return owner; }
    HINSTANCE Instance() const { return instance; }

protected:
    // TrackPopupMenu's result: with TPM_RETURNCMD the command chosen.
    BOOL Track(const POINT* point, UINT alignment);

    HWND owner = nullptr;
    HINSTANCE instance = nullptr;
    HMENU rootMenu = nullptr;
    HMENU currentMenu = nullptr;
    RightButton rightButton = RIGHT_BUTTON_CHOOSES;
};
