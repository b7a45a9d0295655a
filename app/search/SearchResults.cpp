#include "app/search/SearchResults.h"

#include "app/tree/FixedCommands.h"
#include "app/tree/MenuNode.h"
#include "base/WString.h"

#include <stddef.h>

int SearchResults::Build(HINSTANCE instance, HWND owner, UINT dpi, const wchar_t* heading,
                         const std::vector<TreeSearch::Match>& matches, const wchar_t* noMatch) {
    Destroy();
    if (!menu.Create(instance, owner, (int)matches.size() + 1, dpi))
        return -1;
    menu.SetStyle(OwnerDrawMenu::STYLE_TALL_ITEMS, OwnerDrawMenu::STYLE_TALL_ITEMS);
    menu.NotifyByPosition();
    // A right click shows the shell's context menu of the match, as in the folders.
    menu.SetRightButton(PopupMenu::RIGHT_BUTTON_FOR_CONTEXT_MENU);
    // What the user typed is shown as typed: an "&" in it is no mnemonic.
    WString title;
    for (const wchar_t* p = heading; p && *p; p++) {
        if (*p == L'&')
            title.AppendChar(L'&');
        title.AppendChar(*p);
    }
    menu.AddItem(title, MF_DISABLED, 0, nullptr, -1, nullptr, nullptr);
    for (const TreeSearch::Match& match : matches) {
        MenuNode& node = *match.node;
        if (node.flags & NODE_FOLDER) {
            if (node.menu.Handle())
                menu.AddItem(node.name, 0, 0, &node, FixedCommands::FolderIcon, node.menu.Handle(), nullptr);
        } else if (node.flags & NODE_COMMAND) {
            menu.AddItem(node.name, 0, 0, &node, FixedCommands::IconId(node.commandType), nullptr, nullptr);
        } else {
            HICON icon = IconOf(node);
            menu.AddItem(node.name, 0, 0, &node, -1, nullptr, icon);
            if (icon)
                DestroyIcon(icon);
        }
    }
    shown = GetMenuItemCount(menu.Handle()) - FirstMatch;
    if (shown <= 0) {
        shown = 0;
        menu.AddItem(noMatch, MF_DISABLED, 0, nullptr, -1, nullptr, nullptr);
    }
    return shown;
}

HICON SearchResults::IconOf(MenuNode& entry) {
    OwnerDrawMenu* folder = entry.parent ? &entry.parent->menu : nullptr;
    if (!folder || !folder->Handle() || entry.menuPosition < 0)
        return nullptr;
    int image = folder->ItemImage(entry.menuPosition);
    return image >= 0 ? folder->Images().GetIcon(image) : nullptr;
}

void SearchResults::Destroy() {
    HMENU handle = menu.Handle();
    // The folders' popups are detached first: destroying this popup would destroy them and their records.
    for (int i = handle ? GetMenuItemCount(handle) - 1 : -1; i >= 0; i--) {
        if (!GetSubMenu(handle, i))
            continue;
        MENUITEMINFOW info = {};
        info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
        info.fMask = MIIM_SUBMENU;
        info.hSubMenu = nullptr;
        SetMenuItemInfoW(handle, (UINT)i, TRUE, &info);
    }
    menu.Destroy();
    shown = 0;
}
