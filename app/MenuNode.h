#pragma once
// One node of the start-menu tree: the root, a folder, an entry, a fixed command, a separator or the
// "Empty" placeholder. Folders found in both Start Menu folders become one node, and so do entries.

#include "app/OwnerDrawMenu.h"
#include "base/SyncList.h"
#include "base/WString.h"

#include <windows.h>

enum NodeFlags : unsigned {
    NODE_ITEM = 0x01,
    NODE_FOLDER = 0x02,
    NODE_COMMAND = 0x04,
    NODE_COMMON = 0x08,
    NODE_USER = 0x10,
    NODE_SEPARATOR = 0x20,
    NODE_EMPTY = 0x40,
    NODE_CUSTOM_ROOT = 0x80,
};

enum CommandType : int {
    CMD_ABOUT = 0,
    CMD_ORGANIZE = 1,
    CMD_SHUTDOWN = 2,
    CMD_RUN = 3,
    CMD_CONTROL_PANEL = 4,
    CMD_ADMIN_CONSOLE = 5,
    CMD_EXIT = 6,
};

class IconCache;

class MenuNode : public SyncListItem {
public:
    explicit MenuNode(MenuNode* parent);
    ~MenuNode() override;
    MenuNode(const MenuNode&) = delete;
    MenuNode& operator=(const MenuNode&) = delete;

    // Reads the tree below this node from its source folders (see TreeScan).
    void Scan();
    MenuNode* AddCommand(int type);
    MenuNode* AddSeparator();
    MenuNode* AddEmptyPlaceholder();
    int HasLaunchable() const;
    // Builds this node's popup from its children (folders recursively) and, with a parent menu, adds
    // this folder's item to it. Folders without anything to launch are left out unless shown on request.
    // Names and icons of unchanged entries come from the cache (may be null), the others from the shell.
    void BuildMenu(OwnerDrawMenu* parentMenu, HINSTANCE moduleInstance, HWND owner, IconCache* cache);
    // Stores the name and icon of every entry shown in this node's menu and below it.
    void WriteCache(IconCache& cache);
    // Runs the node's action; always 1, whatever the action's outcome.
    int Launch();

    // The source bits in the order the sources are read.
    static const unsigned SourceBits[3];
    // The folder a node with these flags lives in, with a trailing backslash; empty when unknown.
    static int SourceFolder(unsigned flags, WString& path);
    // The string-table id of a command's name, 0 for an unknown command.
    static UINT CommandNameId(int type);
    // The action of a fixed entry.
    static void RunCommand(int type);

    MenuNode* FirstChild() const { return static_cast<MenuNode*>(children.First()); }
    MenuNode* NextChild(const MenuNode* child) const { return static_cast<MenuNode*>(children.Next(child)); }
    int ChildCount() const;

    MenuNode* parent;
    SyncList children;
    WString name;
    WString relativePath;
    unsigned flags = 0;
    OwnerDrawMenu menu;
    unsigned hash = 0;
    int commandType = 0;
    // The entry's name and icon came from an unchanged cache row, which need not be written again.
    int fromCache = 0;
    // The index of the entry's icon in the shell's system image list; -1 when it came from elsewhere.
    int systemImage = -1;

private:
    // Icons shared by all menus of one build, and one menu's images by the icon they were made from.
    struct BuildIcons;
    struct MenuImages;
    // Stored blobs by system image index, shared by the rows of one cache write.
    struct ShellBlobs;

    // The index of the entry's icon in the system image list (the list in *systemList), or -1.
    int ShellIcon(HIMAGELIST* systemList);
    // The image of this entry in the menu's list from its cache row, or -1 on a miss.
    int CachedImage(IconCache& cache, OwnerDrawMenu& target, BuildIcons& icons, MenuImages& images);
    int ResourceImage(int iconId, BuildIcons& icons, MenuImages& images);
    int ShellImage(HIMAGELIST systemList, int index, BuildIcons& icons, MenuImages& images);
    // Builds this node's popup, adding the items of folders once their own popups are built; 0 when
    // the popup could not be made.
    int BuildPopup(HINSTANCE moduleInstance, HWND owner, IconCache* cache, BuildIcons& icons);
    void WriteRows(IconCache& cache, ShellBlobs& blobs);
    friend class TreeScan;
    // Reads this folder's own level (not below it) from the source folders resolved by the scan,
    // indexed like the source bits.
    void ScanLevel(const WString* folders, const int* resolved);
    static int OnFound(const WIN32_FIND_DATAW& found, void* context);
    static int CompareNodes(const SyncListItem* present, const SyncListItem* added, void* userData);
    void AddFound(const WIN32_FIND_DATAW& found, unsigned sourceBit);
    MenuNode* Append(unsigned nodeFlags);
};
