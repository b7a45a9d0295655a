#include "app/tree/AppEntries.h"

#include "app/tree/MenuNode.h"

#include <wctype.h>

#include <new>

namespace {

// Among the folders and entries, before the fixed entries below them.
int InMenuOrder(const SyncListItem* present, const SyncListItem* added, void*) {
    const MenuNode& node = *static_cast<const MenuNode*>(present);
    if (node.flags & (NODE_SEPARATOR | NODE_COMMAND))
        return 1;
    return MenuNode::Compare(node, *static_cast<const MenuNode*>(added));
}

// AppUserModelIDs compare without regard to case.
std::wstring Folded(const wchar_t* id) {
    std::wstring folded(id);
    for (wchar_t& c : folded)
        c = (wchar_t)towlower(c);
    return folded;
}

} // namespace

int AppEntries::Merge(MenuNode& root, const std::vector<PackagedApp>& apps, const std::set<std::wstring>& shortcutIds) {
    int added = 0;
    try {
        std::set<std::wstring> taken;
        for (const std::wstring& id : shortcutIds)
            taken.insert(Folded(id.c_str()));
        for (const PackagedApp& app : apps) {
            // The same ID twice would be one app shown twice.
            if (!taken.insert(Folded(app.id)).second)
                continue;
            if (!Add(root, app, added == 0))
                break;
            added++;
        }
    } catch (const std::bad_alloc&) {
        // The apps added so far stay; the menu shows without the rest.
    }
    return added;
}

int AppEntries::Add(MenuNode& root, const PackagedApp& app, int first) {
    MenuNode* node = new (std::nothrow) MenuNode(&root);
    if (!node)
        return 0;
    node->flags = NODE_ITEM | NODE_APP;
    node->name.Assign(app.name);
    node->relativePath.Assign(app.id);
    // The cached row of an updated app is fetched again.
    node->hash = app.stamp;
    if (first) {
        MenuNode* only = root.FirstChild();
        if (only && (only->flags & NODE_EMPTY) && !root.NextChild(only)) {
            root.children.Remove(only);
            delete only;
        }
    }
    root.children.InsertSorted(node, InMenuOrder, nullptr);
    return 1;
}

void AppEntries::Remove(MenuNode& root) {
    for (MenuNode* child = root.FirstChild(); child;) {
        MenuNode* next = root.NextChild(child);
        if (child->flags & NODE_APP) {
            root.children.Remove(child);
            delete child;
        }
        child = next;
    }
}
