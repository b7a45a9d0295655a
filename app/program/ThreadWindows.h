#pragma once
// The windows of the calling thread, found by their system class, for the program's window to act on
// before it goes: the menus Wine leaves painted, the boxes of an action that must end first.

class ThreadWindows {
public:
    // Hides the visible menu windows ("#32768").
    static void HideMenus();
    // Asks the dialogs and message boxes ("#32770") to close, as their Cancel would.
    static void CloseDialogs();
};
