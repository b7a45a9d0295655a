#pragma once
// Right clicks on the items of the open menus, handed to the menus' owner as WM_MENURBUTTONUP (the item's
// position and its menu). Windows sends that message itself only for menus tracked without
// TPM_RIGHTBUTTON, and Wine never does: the button's release is taken from the menu loop's message
// filter instead, which both systems run alike.

#include "app/popup/MenuLoopListener.h"

#include <windows.h>

class MenuRightClick : public MenuLoopListener {
public:
    MenuRightClick() = default;
    ~MenuRightClick() override { Stop(); }
    MenuRightClick(const MenuRightClick&) = delete;
    MenuRightClick& operator=(const MenuRightClick&) = delete;

    // For the menus this thread tracks next, until Stop.
    int Start(HWND ownerWindow);
    void Stop();

private:
    int OnMenuLoopMessage(const MSG& message) override;
    int OnRightButtonUp(POINT point);

    HWND owner = nullptr;
};
