#include "app/cache/CacheWriter.h"

#include "app/cache/IconCache.h"
#include "app/cache/IconHandle.h"
#include "app/tree/MenuNode.h"

#include <stddef.h>

#include <map>
#include <utility>
#include <vector>

namespace {

// Stored blobs by icon size and system image index, shared by the rows of one write: popups of different
// sizes show the same index at their own size.
typedef std::map<std::pair<int, int>, std::vector<unsigned char>> ShellBlobs;
// The entries whose rows this write holds: marked as stored only once the transaction is committed.
typedef std::vector<MenuNode*> Written;

void WriteRows(IconCache& cache, MenuNode& folder, ShellBlobs& blobs, Written& written) {
    HMENU popup = folder.menu.Handle();
    int count = popup ? GetMenuItemCount(popup) : 0;
    const int size = folder.menu.IconWidth();
    for (int position = 0; position < count; position++) {
        MENUITEMINFOW info = {};
        info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
        info.fMask = MIIM_DATA;
        if (!GetMenuItemInfoW(popup, position, TRUE, &info))
            continue;
        MenuItemData* record = MenuItemData::FromItemData(info.dwItemData);
        MenuNode* child = record ? record->node : nullptr;
        if (!child || child->parent != &folder)
            continue;
        if (child->flags & NODE_FOLDER) {
            WriteRows(cache, *child, blobs, written);
            continue;
        }
        // An entry still showing its stand-in icon has nothing of its own to store yet.
        if (!(child->flags & NODE_ITEM) || child->fromCache || child->iconPending || record->imageIndex < 0)
            continue;
        // Entries showing the same icon of the shell's list got the same image from the same icon
        // handle, so the blob taken out of the first one's image list stands for all of them: taking an
        // icon out of an image list is the slow part of the write.
        const unsigned flags = IconCache::RowFlags(child->flags, size);
        auto known = child->systemImage >= 0 ? blobs.find({size, child->systemImage}) : blobs.end();
        if (known != blobs.end()) {
            if (cache.WriteEntry(child->relativePath, flags, child->hash, child->name, known->second))
                written.push_back(child);
            continue;
        }
        IconHandle icon(folder.menu.Images().GetIcon(record->imageIndex), IconHandle::OWNED);
        std::vector<unsigned char> blob;
        if (!icon.Handle() || !icon.ToBlob(blob))
            continue;
        if (cache.WriteEntry(child->relativePath, flags, child->hash, child->name, blob))
            written.push_back(child);
        if (child->systemImage >= 0)
            blobs.emplace(std::make_pair(size, child->systemImage), std::move(blob));
    }
}

} // namespace

int CacheWriter::WriteCache(IconCache& cache, MenuNode& tree) {
    if (!cache.IsOpen())
        return 0;
    cache.BeginWrite();
    ShellBlobs blobs;
    Written written;
    WriteRows(cache, tree, blobs, written);
    if (!cache.EndWrite())
        return 0;
    // Written once: a resident instance writes again after more icons came, not these rows again. A
    // failed commit leaves them to be written the next time.
    for (MenuNode* entry : written)
        entry->fromCache = 1;
    return 1;
}
