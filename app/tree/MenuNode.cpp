#include "app/tree/MenuNode.h"

#include "app/shell/PackagedApps.h"
#include "app/tree/MenuOptions.h"
#include "app/tree/NameOrder.h"
#include "base/FileSystem.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <shlobj.h>

#include <new>

// All-users entries are created first.
const unsigned MenuNode::SourceBits[3] = {NODE_COMMON, NODE_USER, NODE_CUSTOM_ROOT};

MenuNode::MenuNode(MenuNode* parentNode) : parent(parentNode) {
    name.Assign(L"");
    relativePath.Assign(L"");
}

MenuNode::~MenuNode() {
    menu.Destroy();
    // The list hands its elements to us only through Clear, which deletes each child (and so its subtree).
    children.Clear();
}

int MenuNode::ChildCount() const {
    int count = 0;
    for (MenuNode* child = FirstChild(); child; child = NextChild(child))
        count++;
    return count;
}

int MenuNode::SourceFolder(unsigned nodeFlags, WString& path) {
    wchar_t folder[MAX_PATH + 1] = L"";
    int resolved = 0;
    // A packaged app's ID names its item in the Applications folder.
    if (nodeFlags & NODE_APP) {
        path.Assign(PackagedApps::ItemPrefix);
        return 1;
    }
    // All-users first: a node found in both Start Menu folders lives in the all-users one.
    if (nodeFlags & NODE_COMMON)
        resolved = GetFolderPath(CSIDL_COMMON_PROGRAMS, folder);
    else if (nodeFlags & NODE_USER)
        resolved = GetFolderPath(CSIDL_PROGRAMS, folder);
    else if (nodeFlags & NODE_CUSTOM_ROOT) {
        const WString& root = MenuOptions::Current().customRoot;
        if (!root.IsEmpty()) {
            path.Assign(root);
            path.EnsureTrailing(L'\\');
            return 1;
        }
    }
    if (!resolved || !folder[0]) {
        path.Assign(L"");
        return 0;
    }
    path.Assign(folder);
    path.EnsureTrailing(L'\\');
    return 1;
}

MenuNode* MenuNode::Append(unsigned nodeFlags) {
    MenuNode* node = new (std::nothrow) MenuNode(this);
    if (!node)
        return nullptr;
    node->flags = nodeFlags;
    children.PushBack(node);
    return node;
}

void MenuNode::AddChild(MenuNode* child) {
    if (!child)
        return;
    child->parent = this;
    children.PushBack(child);
}

MenuNode* MenuNode::AddCommand(int type) {
    MenuNode* node = Append(NODE_COMMAND);
    if (!node)
        return nullptr;
    node->commandType = type;
    StringTable strings;
    node->name.Assign(strings.Load(CommandNameId(type)));
    return node;
}

MenuNode* MenuNode::AddSeparator() {
    return Append(NODE_SEPARATOR);
}

MenuNode* MenuNode::AddEmptyPlaceholder() {
    MenuNode* node = Append(NODE_EMPTY);
    if (!node)
        return nullptr;
    StringTable strings;
    node->name.Assign(strings.Load(IDS_EMPTY));
    return node;
}

int MenuNode::HasLaunchable() const {
    for (MenuNode* child = FirstChild(); child; child = NextChild(child)) {
        if (child->flags & NODE_FOLDER) {
            if (child->HasLaunchable())
                return 1;
        } else if (!(child->flags & (NODE_SEPARATOR | NODE_EMPTY))) {
            return 1;
        }
    }
    return 0;
}

int MenuNode::CompareKinds(const MenuNode& a, const MenuNode& b) {
    int order = MenuOptions::Current().folderOrder;
    bool aFolder = (a.flags & NODE_FOLDER) != 0;
    bool bFolder = (b.flags & NODE_FOLDER) != 0;
    if (order != 0 && aFolder != bFolder) {
        // Order 1 puts entries first (the folder is greater); any other value puts folders first.
        if (order == 1)
            return aFolder ? 1 : -1;
        return aFolder ? -1 : 1;
    }
    return 0;
}

int MenuNode::Compare(const MenuNode& a, const MenuNode& b) {
    int kinds = CompareKinds(a, b);
    return kinds ? kinds : NameOrder::Compare(a.name, b.name);
}
