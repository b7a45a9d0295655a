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
    for (const TreeSearch::Match& match : matches)
        AddNode(menu, *match.node, -1);
    shown = GetMenuItemCount(menu.Handle()) - FirstMatch;
    if (shown <= 0) {
        shown = 0;
        menu.AddItem(noMatch, MF_DISABLED, 0, nullptr, -1, nullptr, nullptr);
    }
    return shown;
}

int SearchResults::AddNode(OwnerDrawMenu& menu, MenuNode& node, int position) {
    HMENU submenu = (node.flags & NODE_FOLDER) ? node.menu.Handle() : nullptr;
    if ((node.flags & NODE_FOLDER) && !submenu)
        return 0;
    // The image the node's item shows in its folder's popup, drawn from that popup's list: copying it
    // through an icon handle cost more than the search itself.
    OwnerDrawMenu* folder = node.parent ? &node.parent->menu : nullptr;
    if (folder && folder->Handle() && node.menuPosition >= 0 && folder->Dpi() == menu.Dpi())
        return menu.AddItemWithImage(node.name, 0, 0, &node, folder->ItemImage(node.menuPosition), submenu, position,
                                     folder);
    int icon = (node.flags & NODE_FOLDER)    ? FixedCommands::FolderIcon
               : (node.flags & NODE_COMMAND) ? FixedCommands::IconId(node.commandType)
                                             : -1;
    return menu.AddItem(node.name, 0, 0, &node, icon, submenu, nullptr, position);
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
