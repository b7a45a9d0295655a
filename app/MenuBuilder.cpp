#include "app/MenuBuilder.h"

#include "app/FixedCommands.h"
#include "app/IconBlob.h"
#include "app/IconCache.h"
#include "app/IconHandle.h"
#include "app/LongPath.h"
#include "app/MenuNode.h"
#include "app/MenuOptions.h"
#include "base/CommonControls.h"
#include "sysinfo/Wow64RedirectionOff.h"

#include <shellapi.h>

#include <utility>

MenuBuilder::MenuBuilder(HINSTANCE moduleInstance, HWND ownerWindow, IconCache* iconCache)
    : instance(moduleInstance), owner(ownerWindow), cache(iconCache && iconCache->IsOpen() ? iconCache : nullptr) {}

void MenuBuilder::BuildMenu(MenuNode& node, OwnerDrawMenu* parentMenu) {
    // One read transaction for the whole build: one file lock taken and given back, not one per row.
    if (cache)
        cache->BeginRead();
    int built = BuildPopup(node, 1);
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
    if (!folder.menu.Create(instance, owner, count + 1))
        return 0;
    folder.menu.SetStyle(OwnerDrawMenu::STYLE_TALL_ITEMS, OwnerDrawMenu::STYLE_TALL_ITEMS);
    return 1;
}

int MenuBuilder::BuildPopup(MenuNode& folder, int deep) {
    if (!folder.menu.Handle() && !MakePopup(folder))
        return 0;
    OwnerDrawMenu& menu = folder.menu;
    MenuImages images;
    UINT counter = 1;
    for (MenuNode* child = folder.FirstChild(); child; child = folder.NextChild(child), counter++) {
        if (child->flags & NODE_FOLDER) {
            // A folder whose popup could not be made is left out.
            if (ShowsFolder(*child) && (deep ? BuildPopup(*child, 1) : MakePopup(*child)))
                menu.AddItemWithImage(child->name, 0, 0, child, ResourceImage(menu, FixedCommands::FolderIcon, images),
                                      child->menu.Handle());
        } else if (child->flags & NODE_EMPTY) {
            menu.AddItemWithImage(child->name, MF_DISABLED, counter, child, -1, nullptr);
        } else if (child->flags & NODE_SEPARATOR) {
            menu.AddSeparator(child);
        } else if (child->flags & NODE_COMMAND) {
            menu.AddItemWithImage(child->name, 0, counter, child,
                                  ResourceImage(menu, FixedCommands::IconId(child->commandType), images), nullptr);
        } else {
            int image = cache ? CachedImage(*child, menu, images) : -1;
            if (image < 0) {
                HIMAGELIST systemList = nullptr;
                int systemIndex = ShellIcon(*child, &systemList);
                image = ShellImage(menu, systemList, systemIndex, images);
                child->systemImage = image >= 0 ? systemIndex : -1;
            }
            menu.AddItemWithImage(child->name, 0, counter, child, image, nullptr);
        }
    }
    return 1;
}

int MenuBuilder::ShellIcon(MenuNode& entry, HIMAGELIST* listOut) {
    WString path;
    *listOut = nullptr;
    if (!MenuNode::SourceFolder(entry.flags, path))
        return -1;
    path.Append(entry.relativePath);
    // The shell takes no "\\?\" paths: a deeper entry is named by its short path.
    WString usable;
    if (!ShellPath(path, usable))
        return -1;
    SHFILEINFOW info = {};
    HIMAGELIST systemList = nullptr;
    {
        // A shortcut to a program in the 64-bit System32 must be resolved there, or the icon found is
        // a wrong or generic one, and it would be kept in the cache.
        Wow64RedirectionOff redirection;
        systemList = (HIMAGELIST)SHGetFileInfoW(usable, 0, &info, sizeof(info),
                                                SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON);
    }
    *listOut = systemList;
    if (info.szDisplayName[0])
        entry.name.Assign(info.szDisplayName);
    return systemList ? info.iIcon : -1;
}

int MenuBuilder::CachedImage(MenuNode& entry, OwnerDrawMenu& target, MenuImages& images) {
    WString cachedName;
    std::vector<unsigned char> blob;
    if (!cache->LookupEntry(entry.relativePath, entry.flags, entry.hash, cachedName, blob))
        return -1;
    // The stored name stands even when the icon cannot be used: the shell then gives the icon, and its
    // name only when it has one.
    entry.name.Assign(cachedName);
    auto known = images.blobs.find(blob);
    int index = known != images.blobs.end() ? known->second : -1;
    if (index < 0) {
        // A row holds the icon at the size of the menus that wrote it. Another size (the dots per inch
        // changed since) counts as a miss, so the shell's sharp icon replaces the row at exit instead of
        // a scaled, blurry one staying for good.
        IconBlobImage picked;
        int width = target.IconWidth(), height = target.IconHeight();
        if (!PickIconImage(blob.data(), blob.size(), width, &picked) || picked.entryWidth != width)
            return -1;
        // Stored pixels straight into the image list: turning them into an icon handle first costs
        // several times as much.
        const std::pair<HBITMAP, HBITMAP>& bitmaps = icons.Decoded(blob, width, height);
        if (bitmaps.first)
            index = CommonControls::Get().ImageListAdd(target.Images().Handle(), bitmaps.first, bitmaps.second);
        if (index < 0) {
            IconHandle icon;
            if (icon.FromBlob(blob.data(), blob.size(), width, 1))
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
    int index = list.AddIcon(icons.Resource(instance, iconId, list.IconWidth(), list.IconHeight()));
    if (index >= 0)
        images.resources[iconId] = index;
    return index;
}

int MenuBuilder::ShellImage(OwnerDrawMenu& target, HIMAGELIST systemList, int systemIndex, MenuImages& images) {
    if (!systemList || systemIndex < 0)
        return -1;
    auto known = images.shell.find(systemIndex);
    if (known != images.shell.end())
        return known->second;
    // The image list keeps its own copy of the icon.
    int index = target.Images().AddIcon(icons.Shell(systemList, systemIndex));
    if (index >= 0)
        images.shell[systemIndex] = index;
    return index;
}
