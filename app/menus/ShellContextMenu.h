#pragma once
// The shell's own context menu of an entry's or a folder's file, shown over the open Start menu with the
// verbs Explorer offers for that file (Open, Run as administrator, Open file location, Delete, Rename,
// Properties, the shell extensions' own), the chosen one run by the shell.

#include "base/ComPtr.h"
#include "base/WString.h"

#include <windows.h>

#include <shlobj.h>

class MenuNode;

class ShellContextMenu {
public:
    ShellContextMenu() = default;
    ShellContextMenu(const ShellContextMenu&) = delete;
    ShellContextMenu& operator=(const ShellContextMenu&) = delete;

    // EXTENDED_VERBS adds the verbs Shift shows in Explorer.
    enum Verbs : int { NORMAL_VERBS = 0, EXTENDED_VERBS = 1 };

    // Shows the menu of the node's file at the point (screen coordinates) with owner as its window. 1 when a verb was
    // chosen: it is kept for RunChosen, which the owner calls once its own menus have closed (a verb may show a box of
    // its own, or change the folder the menus show). 0 when the menu was dismissed; -1 when none was shown (the fixed
    // commands, separators, a file the shell does not know).
    int Show(HWND owner, const MenuNode& node, POINT point, Verbs verbs);
    // Shows an already made context menu; as Show.
    int Track(HWND owner, IContextMenu* menu, POINT point, Verbs verbs);
    int HasChosen() const { return chosen.Get() != nullptr; }
    // Runs the chosen verb; 1 when the shell reports it ran. The verb is forgotten either way.
    int RunChosen(HWND owner);
    // While the menu is open the owner hands its menu messages here first, so that the shell's submenus
    // ("Send to", "New") are filled and its owner-drawn items drawn. 1 when the message was the shell's.
    int HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    int IsOpen() const { return open; }
    // The entry or folder of an item of our menus, or null (the fixed commands, other menus' items).
    static const MenuNode* NodeOfItem(HMENU menu, UINT_PTR position);
    // Whether a window of this process other than self is on screen: one the shell opened for a verb
    // (Properties, a confirmation) lives on the shell's threads inside this process.
    static int ShellWindowsOpen(HWND self);
    // The file the node's item stands for: the all-users copy of an entry in both Programs folders.
    static int NodeFile(const MenuNode& node, WString& path);

private:
    IContextMenu2* menu2 = nullptr;
    IContextMenu3* menu3 = nullptr;
    int open = 0;
    // The menu whose verb was chosen, until RunChosen.
    ComPtr<IContextMenu> chosen;
    UINT chosenCommand = 0;
    POINT chosenPoint = {0, 0};
    DWORD chosenKeys = 0;
};
