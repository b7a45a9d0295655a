#include "app/tree/AppEntries.h"

#include "app/tree/MenuNode.h"

#include <wctype.h>

#include <new>

namespace {

int InMenuOrder(const SyncListItem* present, const SyncListItem* added, void*) {
    return MenuNode::Compare(*static_cast<const MenuNode*>(present), *static_cast<const MenuNode*>(added));
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
    node->hash = StampHash(app.stamp);
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

unsigned AppEntries::StampHash(const wchar_t* stamp) {
    // FNV-1a over the UTF-16 code units.
    unsigned hash = 2166136261u;
    for (; *stamp; stamp++) {
        hash = (hash ^ (unsigned)*stamp) * 16777619u;
    }
    return hash;
}
