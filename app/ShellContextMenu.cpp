#include "app/ShellContextMenu.h"

#include "app/LongPath.h"
#include "app/MenuItemData.h"
#include "app/MenuNode.h"
#include "base/ComPtr.h"
#include "base/WString.h"

#include <shellapi.h>

namespace {

// The shell's commands get identifiers from here on; 0 means nothing was chosen.
const UINT FirstCommand = 1;
const UINT LastCommand = 0x7FFF;

// Frees a shell item identifier list when it goes.
class ItemIdList {
public:
    ~ItemIdList() { CoTaskMemFree(list); }
    PIDLIST_ABSOLUTE* Out() { return &list; }
    PCIDLIST_ABSOLUTE Get() const { return list; }

private:
    PIDLIST_ABSOLUTE list = nullptr;
};

// Destroys a menu handle when it goes.
class MenuHandle {
public:
    MenuHandle() : menu(CreatePopupMenu()) {}
    ~MenuHandle() {
        if (menu)
            DestroyMenu(menu);
    }
    HMENU Get() const { return menu; }

private:
    HMENU menu;
};

struct WindowSearch {
    HWND self;
    int found;
};

BOOL CALLBACK FindOtherWindow(HWND candidate, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(candidate, &process);
    if (candidate != search->self && process == GetCurrentProcessId() && IsWindowVisible(candidate)) {
        search->found = 1;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int ShellContextMenu::ShellWindowsOpen(HWND self) {
    WindowSearch search = {self, 0};
    EnumWindows(FindOtherWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

const MenuNode* ShellContextMenu::NodeOfItem(HMENU menu, UINT_PTR position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menu, (UINT)position, TRUE, &info))
        return nullptr;
    const MenuItemData* record = MenuItemData::FromItemData(info.dwItemData);
    if (!record || !record->node || (record->node->flags & NODE_COMMAND))
        return nullptr;
    return record->node;
}

int ShellContextMenu::NodeFile(const MenuNode& node, WString& path) {
    if (!(node.flags & (NODE_ITEM | NODE_FOLDER)) || (node.flags & NODE_SEPARATOR))
        return 0;
    WString full;
    if (!MenuNode::SourceFolder(node.flags, full))
        return 0;
    full.Append(node.relativePath);
    while (full.Length() > 3 && full.GetAt(full.Length() - 1) == L'\\')
        full.Left(full.Length() - 1);
    // The shell takes no "\\?\" paths: a deeper file is named by its short path, as launching does.
    return ShellPath(full, path);
}

int ShellContextMenu::Show(HWND owner, const MenuNode& node, POINT point, int extended) {
    WString path;
    if (open || !NodeFile(node, path))
        return 0;
    ItemIdList item;
    if (FAILED(SHParseDisplayName(path, nullptr, item.Out(), 0, nullptr)) || !item.Get())
        return 0;
    ComPtr<IShellFolder> folder;
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(SHBindToParent(item.Get(), IID_IShellFolder, folder.OutVoid(), &child)))
        return 0;
    ComPtr<IContextMenu> menu;
    if (FAILED(folder->GetUIObjectOf(owner, 1, &child, IID_IContextMenu, nullptr, menu.OutVoid())))
        return 0;
    MenuHandle popup;
    UINT flags = CMF_NORMAL | (extended ? CMF_EXTENDEDVERBS : 0);
    if (!popup.Get() || FAILED(menu->QueryContextMenu(popup.Get(), 0, FirstCommand, LastCommand, flags)))
        return 0;

    // The newer interfaces fill submenus and draw owner-drawn items while the menu is open.
    ComPtr<IContextMenu2> second;
    ComPtr<IContextMenu3> third;
    menu->QueryInterface(IID_IContextMenu2, second.OutVoid());
    menu->QueryInterface(IID_IContextMenu3, third.OutVoid());
    menu2 = second.Get();
    menu3 = third.Get();
    open = 1;
    // TPM_RECURSE: shown while the Start menu's own loop runs, which stays open beneath it; Escape
    // closes only this menu.
    UINT chosen = (UINT)TrackPopupMenuEx(popup.Get(), TPM_RECURSE | TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y,
                                         owner, nullptr);
    open = 0;
    menu2 = nullptr;
    menu3 = nullptr;
    if (chosen < FirstCommand)
        return 0;

    CMINVOKECOMMANDINFOEX invoke = {};
    invoke.cbSize = sizeof(invoke);
    invoke.fMask = CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE;
    if (GetKeyState(VK_SHIFT) < 0)
        invoke.fMask |= CMIC_MASK_SHIFT_DOWN;
    if (GetKeyState(VK_CONTROL) < 0)
        invoke.fMask |= CMIC_MASK_CONTROL_DOWN;
    invoke.hwnd = owner;
    invoke.lpVerb = MAKEINTRESOURCEA(chosen - FirstCommand);
    invoke.lpVerbW = MAKEINTRESOURCEW(chosen - FirstCommand);
    invoke.nShow = SW_SHOWNORMAL;
    invoke.ptInvoke = point;
    return SUCCEEDED(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke))) ? 1 : 0;
}

int ShellContextMenu::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (!open)
        return 0;
    switch (message) {
        case WM_INITMENUPOPUP:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_MENUCHAR:
            break;
        default:
            return 0;
    }
    // Our own items' messages go on to the Start menu: the shell answers only for its menu's items.
    if ((message == WM_DRAWITEM || message == WM_MEASUREITEM) && wParam != 0)
        return 0;
    LRESULT answer = 0;
    if (menu3 && SUCCEEDED(menu3->HandleMenuMsg2(message, wParam, lParam, &answer))) {
        *result = answer;
        return 1;
    }
    if (menu2 && message != WM_MENUCHAR && SUCCEEDED(menu2->HandleMenuMsg(message, wParam, lParam))) {
        *result = message == WM_INITMENUPOPUP ? 0 : TRUE;
        return 1;
    }
    return 0;
}
