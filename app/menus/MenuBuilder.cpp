#include "app/menus/MenuBuilder.h"

#include "app/cache/IconBlob.h"
#include "app/cache/IconCache.h"
#include "app/cache/IconHandle.h"
#include "app/shell/ShellFile.h"
#include "app/tree/FixedCommands.h"
#include "app/tree/MenuNode.h"
#include "app/tree/MenuOptions.h"

#include <stddef.h>
#include <wchar.h>

#include <new>

#include <utility>

MenuBuilder::MenuBuilder(HINSTANCE moduleInstance, HWND ownerWindow, IconCache* iconCache, IconFetcher* iconFetcher,
                         unsigned treeGeneration)
    : instance(moduleInstance), owner(ownerWindow), cache(iconCache && iconCache->IsOpen() ? iconCache : nullptr),
      fetcher(iconFetcher), generation(treeGeneration) {}

void MenuBuilder::BuildMenu(MenuNode& node, OwnerDrawMenu* parentMenu) {
    // One read transaction for the whole build: one file lock taken and given back, not one per row.
    if (cache)
        cache->BeginRead();
    int built = BuildPopup(node, WHOLE_TREE);
    if (cache)
        cache->EndRead();
    if (!built || !parentMenu)
        return;
    HICON folder = icons.Resource(instance, FixedCommands::FolderIcon, parentMenu->Images().IconWidth(),
                                  parentMenu->Images().IconHeight());
    parentMenu->AddItemWithImage(node.name, 0, 0, &node, parentMenu->Images().AddIcon(folder), node.menu.Handle());
}

int MenuBuilder::ShowsFolder(const MenuNode& folder) const {
    return MenuOptions::Current().showEmptyFolders == 1 || folder.HasLaunchable();
}

int MenuBuilder::MakePopup(MenuNode& folder) {
    // Room for about one image per item from the start, and growth in steps that keep pace with a large
    // folder: an image list grown ten images at a time copies its bitmap a thousand times for 10,000.
    int count = folder.ChildCount();
    if (!folder.menu.Create(instance, owner, count + 1, dpi))
        return 0;
    folder.menu.SetStyle(OwnerDrawMenu::STYLE_TALL_ITEMS, OwnerDrawMenu::STYLE_TALL_ITEMS);
    folder.filled = 0;
    folder.shellImages.clear();
    // The popup leads back to its folder when it opens, to be filled then.
    MENUINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIM_MENUDATA;
    info.dwMenuData = reinterpret_cast<ULONG_PTR>(&folder);
    SetMenuInfo(folder.menu.Handle(), &info);
    return 1;
}

MenuNode* MenuBuilder::FolderOfPopup(HMENU popup) {
    MENUINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIM_MENUDATA;
    // Other menus' data (the shell's context menu) may be no address at all.
    if (!popup || !GetMenuInfo(popup, &info) || info.dwMenuData < 0x10000 || info.dwMenuData % alignof(MenuNode))
        return nullptr;
    MenuNode* folder = reinterpret_cast<MenuNode*>(info.dwMenuData);
    // Another program's menu data is no node of ours: the node must own this very popup.
    return folder->menu.Handle() == popup ? folder : nullptr;
}

int MenuBuilder::FillPopup(MenuNode& folder) {
    if (folder.filled)
        return 0;
    if (cache)
        cache->BeginRead();
    int built = BuildPopup(folder, EMPTY_SUBFOLDERS);
    if (cache)
        cache->EndRead();
    return built;
}

int MenuBuilder::BuildPopup(MenuNode& folder, Depth depth) {
    if (!folder.menu.Handle() && !MakePopup(folder))
        return 0;
    OwnerDrawMenu& menu = folder.menu;
    MenuImages images;
    std::vector<IconFetcher::Request> requests;
    UINT counter = 1;
    for (MenuNode* child = folder.FirstChild(); child; child = folder.NextChild(child), counter++) {
        if (child->flags & NODE_FOLDER) {
            // A folder whose popup could not be made is left out.
            int position = GetMenuItemCount(menu.Handle());
            if (ShowsFolder(*child) && (depth == WHOLE_TREE ? BuildPopup(*child, WHOLE_TREE) : MakePopup(*child)) &&
                menu.AddItemWithImage(child->name, 0, 0, child, ResourceImage(menu, FixedCommands::FolderIcon, images),
                                      child->menu.Handle()))
                child->menuPosition = position;
        } else if (child->flags & NODE_EMPTY) {
            menu.AddItemWithImage(child->name, MF_DISABLED, counter, child, -1, nullptr);
        } else if (child->flags & NODE_SEPARATOR) {
            menu.AddSeparator(child);
        } else if (child->flags & NODE_COMMAND) {
            int position = GetMenuItemCount(menu.Handle());
            if (menu.AddItemWithImage(child->name, 0, counter, child,
                                      ResourceImage(menu, FixedCommands::IconId(child->commandType), images), nullptr))
                child->menuPosition = position;
        } else {
            // Set again by a hit: a popup made anew at another size misses the row of the size before.
            child->fromCache = 0;
            int image = cache ? CachedImage(*child, menu, images) : -1;
            if (image < 0 && fetcher) {
                IconFetcher::Request request = {generation, child, WString(), menu.IconWidth()};
                if (MenuNode::SourceFolder(child->flags, request.path)) {
                    request.path.Append(child->relativePath);
                    requests.push_back(std::move(request));
                    // Until the shell answers, the entry shows the system's icon of a program (a folder's
                    // icon made programs look like folders for a moment).
                    image = ResourceImage(menu, GenericProgramIcon, images);
                    child->iconPending = 1;
                }
            } else if (image < 0) {
                int systemIndex = -1;
                HICON icon = ShellIcon(*child, menu.IconWidth(), &systemIndex);
                image = icon ? ShellImage(folder, icon, systemIndex) : -1;
                if (icon)
                    DestroyIcon(icon);
                child->systemImage = image >= 0 ? systemIndex : -1;
            }
            int position = GetMenuItemCount(menu.Handle());
            if (menu.AddItemWithImage(child->name, 0, counter, child, image, nullptr))
                child->menuPosition = position;
        }
    }
    folder.filled = 1;
    // Without the fetcher's thread the entries keep their stand-in icons, and stay pending: a pending
    // entry's image is never stored as its icon.
    if (fetcher)
        fetcher->RequestFirst(requests);
    return 1;
}

int MenuBuilder::PaintFetched(MenuNode& entry, IconFetcher::Result& result) {
    MenuNode* folder = entry.parent;
    HICON icon = result.icon;
    result.icon = nullptr;
    // An icon asked for a popup since made anew at another size waits for the one asked at the new size.
    if (!folder || !entry.iconPending || entry.menuPosition < 0 || !folder->menu.Handle() ||
        result.size != folder->menu.IconWidth()) {
        if (icon)
            DestroyIcon(icon);
        return 0;
    }
    entry.iconPending = 0;
    HMENU popup = folder->menu.Handle();
    MENUITEMINFOW info = {};
    info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
    info.fMask = MIIM_DATA;
    MenuItemData* record = GetMenuItemInfoW(popup, (UINT)entry.menuPosition, TRUE, &info)
                               ? MenuItemData::FromItemData(info.dwItemData)
                               : nullptr;
    int image = icon ? ShellImage(*folder, icon, result.systemIndex) : -1;
    if (icon)
        DestroyIcon(icon);
    if (!record || record->node != &entry)
        return 0;
    entry.systemImage = image >= 0 ? result.systemIndex : -1;
    record->imageIndex = image;
    if (!result.name.IsEmpty() && wcscmp(result.name, entry.name) != 0) {
        entry.name.Assign(result.name);
        size_t length = wcslen(result.name);
        wchar_t* text = new (std::nothrow) wchar_t[length + 1];
        if (text) {
            wmemcpy(text, result.name, length + 1);
            // Through SetText: screen readers read the name from the record too.
            record->SetText(text);
            record->measuredWidth = 0;
            // Setting the item again makes the menu measure it anew the next time it is shown.
            MENUITEMINFOW type = {};
            type.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
            type.fMask = MIIM_FTYPE;
            type.fType = MFT_OWNERDRAW;
            SetMenuItemInfoW(popup, (UINT)entry.menuPosition, TRUE, &type);
        }
    }
    return 1;
}

HICON MenuBuilder::ShellIcon(MenuNode& entry, int size, int* systemIndex) {
    WString path;
    HICON icon = nullptr;
    *systemIndex = -1;
    if (!MenuNode::SourceFolder(entry.flags, path))
        return nullptr;
    path.Append(entry.relativePath);
    ShellFile::Look(path, size, entry.name, &icon, systemIndex);
    return icon;
}

int MenuBuilder::CachedImage(MenuNode& entry, OwnerDrawMenu& target, MenuImages& images) {
    WString cachedName;
    std::vector<unsigned char> blob;
    int width = target.IconWidth(), height = target.IconHeight();
    if (!cache->LookupEntry(entry.relativePath, IconCache::RowFlags(entry.flags, width), entry.hash, cachedName, blob))
        return -1;
    // The stored name stands even when the icon cannot be used: the shell then gives the icon, and its
    // name only when it has one.
    entry.name.Assign(cachedName);
    auto known = images.blobs.find(blob);
    int index = known != images.blobs.end() ? known->second : -1;
    if (index < 0) {
        // Each size has its row, but a row at 16 pixels may have been written by a release that stored
        // every size there: another size counts as a miss, so the shell's sharp icon replaces the row at
        // exit instead of a scaled, blurry one staying for good.
        IconBlobImage picked;
        if (!PickIconImage(blob.data(), blob.size(), width, &picked) || picked.entryWidth != width)
            return -1;
        // Stored pixels straight into the image list: turning them into an icon handle first costs
        // several times as much, and a list not made yet keeps them without a GDI object.
        const IconPixels* pixels = icons.Decoded(blob, width, height);
        if (pixels)
            index = target.Images().AddPixels(*pixels);
        if (index < 0) {
            IconHandle icon;
            if (icon.FromBlob(blob.data(), blob.size(), width, IconHandle::OWNED))
                index = target.Images().AddIcon(icon.Handle());
        }
        if (index < 0)
            return -1;
        images.blobs.emplace(std::move(blob), index);
    }
    entry.fromCache = 1;
    return index;
}

int MenuBuilder::ResourceImage(OwnerDrawMenu& target, int iconId, MenuImages& images) {
    if (iconId == -1)
        return -1;
    auto known = images.resources.find(iconId);
    if (known != images.resources.end())
        return known->second;
    ImageList& list = target.Images();
    // The system's icon is loaded from user32, once per build, never from the disk per entry.
    HINSTANCE module = iconId == GenericProgramIcon ? nullptr : instance;
    const IconPixels* pixels = module ? icons.ResourcePixels(module, iconId, list.IconWidth(), list.IconHeight())
                                      : icons.SystemPixels(iconId, list.IconWidth(), list.IconHeight());
    int index = pixels ? list.AddPixels(*pixels) : -1;
    if (index < 0)
        index = list.AddIcon(icons.Resource(module, iconId, list.IconWidth(), list.IconHeight()));
    if (index >= 0)
        images.resources[iconId] = index;
    return index;
}

int MenuBuilder::ShellImage(MenuNode& folder, HICON icon, int systemIndex) {
    if (!icon)
        return -1;
    auto known = systemIndex >= 0 ? folder.shellImages.find(systemIndex) : folder.shellImages.end();
    if (known != folder.shellImages.end())
        return known->second;
    // The image list keeps its own copy of the icon.
    int index = folder.menu.Images().AddIcon(icon);
    if (index >= 0 && systemIndex >= 0)
        folder.shellImages[systemIndex] = index;
    return index;
}
