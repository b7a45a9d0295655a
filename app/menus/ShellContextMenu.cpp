#include "app/menus/ShellContextMenu.h"

#include "app/popup/MenuItemData.h"
#include "app/shell/LongPath.h"
#include "app/shell/PackagedApps.h"
#include "app/tree/MenuNode.h"
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
    // Menu windows are not the shell's: Wine can leave one of ours on screen after its loop has ended.
    wchar_t name[16] = L"";
    GetClassNameW(candidate, name, 16);
    if (candidate != search->self && process == GetCurrentProcessId() && IsWindowVisible(candidate) &&
        lstrcmpW(name, L"#32768") != 0) {
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
    if (!MenuNode::SourceFolder(node.flags, path))
        return 0;
    path.Append(node.relativePath);
    while (path.Length() > 3 && path.GetAt(path.Length() - 1) == L'\\')
        path.Left(path.Length() - 1);
    return 1;
}

int ShellContextMenu::Show(HWND owner, const MenuNode& node, POINT point, Verbs verbs) {
    WString path;
    if (open || !NodeFile(node, path))
        return -1;
    // By its path where the shell takes it (short enough, or in the 8.3 names its volume keeps), else by an
    // item ID list built name by name, the only way to a file past the path limit on a volume without them.
    // A packaged app's item in the Applications folder gives the app's own menu (Pin, App settings,
    // Uninstall, as the shell offers them).
    WString usable;
    ItemIdList item;
    int parsed = PackagedApps::IsItemPath(path) ? usable.Assign(path) : ShellPath(path, usable);
    parsed = parsed && SUCCEEDED(SHParseDisplayName(usable, nullptr, item.Out(), 0, nullptr));
    if ((!parsed && !ShellIdList(path, item.Out())) || !item.Get())
        return -1;
    ComPtr<IShellFolder> folder;
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(SHBindToParent(item.Get(), IID_IShellFolder, folder.OutVoid(), &child)))
        return -1;
    ComPtr<IContextMenu> menu;
    if (FAILED(folder->GetUIObjectOf(owner, 1, &child, IID_IContextMenu, nullptr, menu.OutVoid())))
        return -1;
    return Track(owner, menu.Get(), point, verbs);
}

int ShellContextMenu::Track(HWND owner, IContextMenu* menu, POINT point, Verbs verbs) {
    MenuHandle popup;
    // CMF_CANRENAME: without it the shell leaves Rename out.
    UINT flags = CMF_NORMAL | CMF_CANRENAME | (verbs == EXTENDED_VERBS ? CMF_EXTENDEDVERBS : 0);
    if (open || !menu || !popup.Get() ||
        FAILED(menu->QueryContextMenu(popup.Get(), 0, FirstCommand, LastCommand, flags)))
        return -1;

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
    UINT command = (UINT)TrackPopupMenuEx(popup.Get(), TPM_RECURSE | TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y,
                                          owner, nullptr);
    open = 0;
    menu2 = nullptr;
    menu3 = nullptr;
    if (command < FirstCommand)
        return 0;
    // Run later, outside the menus' loop: the keys held are those of the choice.
    chosen.Share(menu);
    chosenCommand = command;
    chosenPoint = point;
    chosenKeys = (GetKeyState(VK_SHIFT) < 0 ? CMIC_MASK_SHIFT_DOWN : 0) |
                 (GetKeyState(VK_CONTROL) < 0 ? CMIC_MASK_CONTROL_DOWN : 0);
    return 1;
}

int ShellContextMenu::RunChosen(HWND owner) {
    ComPtr<IContextMenu> menu(chosen.Detach());
    if (!menu)
        return 0;
    CMINVOKECOMMANDINFOEX invoke = {};
    invoke.cbSize = sizeof(invoke);
    // CMIC_MASK_NOASYNC: a verb the shell would finish on another thread (a DDE conversation, a
    // delegate) is finished before this returns, since a once-mode run may end right after.
    invoke.fMask = CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE | CMIC_MASK_NOASYNC | chosenKeys;
    invoke.hwnd = owner;
    invoke.lpVerb = MAKEINTRESOURCEA(chosenCommand - FirstCommand);
    invoke.lpVerbW = MAKEINTRESOURCEW(chosenCommand - FirstCommand);
    invoke.nShow = SW_SHOWNORMAL;
    invoke.ptInvoke = chosenPoint;
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
    // Our own items' messages go on to the Start menu. A menu's WM_DRAWITEM and WM_MEASUREITEM always
    // carry wParam 0, and the shell routes them by item identifier to whichever extension owns that
    // identifier, which would read our item's data as its own: the data tells ours apart.
    if (message == WM_DRAWITEM || message == WM_MEASUREITEM) {
        ULONG_PTR data = message == WM_DRAWITEM ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->itemData
                                                : reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->itemData;
        if (wParam != 0 || MenuItemData::FromItemData(data))
            return 0;
    }
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
