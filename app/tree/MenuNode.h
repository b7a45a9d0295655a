#pragma once
// One node of the start-menu tree: the root, a folder, an entry, a fixed command, a separator or the
// "Empty" placeholder. Folders found in both Start Menu folders become one node, and so do entries.
// The tree only holds what was found; TreeScan reads it, MenuBuilder shows it, Launcher runs it.

#include "app/popup/OwnerDrawMenu.h"
#include "app/tree/FixedCommands.h"
#include "base/SyncList.h"
#include "base/WString.h"

#include <windows.h>

#include <map>

enum NodeFlags : unsigned {
    NODE_ITEM = 0x01,
    NODE_FOLDER = 0x02,
    NODE_COMMAND = 0x04,
    NODE_COMMON = 0x08,
    NODE_USER = 0x10,
    NODE_SEPARATOR = 0x20,
    NODE_EMPTY = 0x40,
    NODE_CUSTOM_ROOT = 0x80,
    // A packaged app of the shell's Applications folder: its relativePath is its AppUserModelID.
    NODE_APP = 0x100,
};

class MenuNode : public SyncListItem {
public:
    explicit MenuNode(MenuNode* parent);
    ~MenuNode() override;
    MenuNode(const MenuNode&) = delete;
    MenuNode& operator=(const MenuNode&) = delete;

    MenuNode* AddCommand(int type);
    MenuNode* AddSeparator();
    MenuNode* AddEmptyPlaceholder();
    // Appends a node made elsewhere (the scan, which hands each level's nodes over in menu order); the
    // tree owns it from now on.
    void AddChild(MenuNode* child);
    int HasLaunchable() const;

    // The source bits in the order the sources are read.
    static const unsigned SourceBits[3];
    // The folder a node with these flags lives in, with a trailing backslash; empty when unknown.
    static int SourceFolder(unsigned flags, WString& path);
    // The string-table id of a command's name, 0 for an unknown command.
    static UINT CommandNameId(int type) { return FixedCommands::NameId(type); }
    // The menu order: below 0 when a comes before b. Folders against entries by the order option, then
    // the names as Explorer orders them for the user's language (NameOrder).
    static int Compare(const MenuNode& a, const MenuNode& b);
    // The part of the order the option decides: below 0 when a's kind comes first, 0 when it is alike.
    static int CompareKinds(const MenuNode& a, const MenuNode& b);

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
    // The entry shows a stand-in icon until the shell's arrives; such an entry has nothing to store.
    int iconPending = 0;
    // The node's position in its folder's popup (entries, folders and commands), -1 while it has no item.
    int menuPosition = -1;
    // The folder's popup holds its items (popups are filled when they first open).
    int filled = 0;
    // The folder's popup's images by their index in the shell's system image list, shared by the items
    // that show the same icon.
    std::map<int, int> shellImages;

private:
    MenuNode* Append(unsigned nodeFlags);
};
