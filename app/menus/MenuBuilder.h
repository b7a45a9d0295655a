#pragma once
// Turns the tree into owner-drawn popup menus: one popup per folder, with the entries' names and icons
// from the icon cache when their rows are unchanged, else from the shell. A whole tree is built with
// BuildMenu; BuildPopup fills one folder's popup on its own, leaving its sub-folders' popups empty.
// With an IconFetcher, an entry the cache does not know shows its folder's icon and is handed to the
// fetcher, whose answer PaintFetched puts into the popup later. The icons loaded during the builder's
// life are shared by every popup it builds.

#include "app/cache/BuildIcons.h"
#include "app/cache/IconFetcher.h"

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <vector>

class IconCache;
class MenuNode;
class OwnerDrawMenu;

class MenuBuilder {
public:
    // cache may be null: then every name and icon comes from the shell.
    // fetcher may be null: then the shell is asked at once, on this thread.
    MenuBuilder(HINSTANCE moduleInstance, HWND owner, IconCache* cache, IconFetcher* fetcher = nullptr,
                unsigned generation = 0);
    MenuBuilder(const MenuBuilder&) = delete;
    MenuBuilder& operator=(const MenuBuilder&) = delete;

    // Builds node's popup and, recursively, those of its folders; with a parent menu it adds this
    // folder's item to it. Folders without anything to launch are left out unless shown on request.
    void BuildMenu(MenuNode& node, OwnerDrawMenu* parentMenu = nullptr);
    // How far BuildPopup goes: the popups of the sub-folders built too, or made empty.
    enum Depth : int { EMPTY_SUBFOLDERS = 0, WHOLE_TREE = 1 };
    // Makes folder's popup and its items. Sub-folders shown get an item with their popup, built too for
    // WHOLE_TREE, else made empty for a later BuildPopup of their own. 0 when the popup could not be made.
    int BuildPopup(MenuNode& folder, Depth depth);
    // Fills the popup of a folder whose popup was made empty (on WM_INITMENUPOPUP) or not made yet, with
    // the cache's lookups in one read transaction. 0 when it was filled before or cannot be made.
    int FillPopup(MenuNode& folder);
    // Puts a fetched name and icon into the entry's item (the icon is taken over); 1 when it changed.
    int PaintFetched(MenuNode& entry, IconFetcher::Result& result);
    // The folder whose popup this is, when it is one made by a builder.
    static MenuNode* FolderOfPopup(HMENU popup);
    // The dots per inch of the popups this builder makes (0: the system's).
    void SetDpi(UINT value) { dpi = value; }

private:
    // One menu's images by the icon they were made from: items that show the same icon (every folder,
    // shortcuts to one program) share one image, as each image added costs a copy through GDI.
    struct MenuImages {
        std::map<int, int> resources;
        std::map<std::vector<unsigned char>, int> blobs;
    };

    // The id of the system's icon of a program without one (IDI_APPLICATION), a stand-in's icon.
    static const int GenericProgramIcon = 32512;

    int ShowsFolder(const MenuNode& folder) const;
    int MakePopup(MenuNode& folder);
    // The image of this entry in the menu's list from its cache row, or -1 on a miss.
    int CachedImage(MenuNode& entry, OwnerDrawMenu& target, MenuImages& images);
    int ResourceImage(OwnerDrawMenu& target, int iconId, MenuImages& images);
    int ShellImage(MenuNode& folder, HICON icon, int index);
    // The shell's display name (into the entry) and icon at size pixels, the caller's to destroy; *systemIndex
    // is the icon's index in the system image list, -1 when it came from elsewhere.
    static HICON ShellIcon(MenuNode& entry, int size, int* systemIndex);

    HINSTANCE instance;
    HWND owner;
    IconCache* cache;
    IconFetcher* fetcher;
    unsigned generation;
    UINT dpi = 0;
    BuildIcons icons;
};
