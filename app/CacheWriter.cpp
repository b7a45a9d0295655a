#include "app/CacheWriter.h"

#include "app/IconCache.h"
#include "app/IconHandle.h"
#include "app/MenuNode.h"

#include <stddef.h>

#include <map>
#include <utility>
#include <vector>

namespace {

// Stored blobs by system image index, shared by the rows of one write.
typedef std::map<int, std::vector<unsigned char>> ShellBlobs;

void WriteRows(IconCache& cache, MenuNode& folder, ShellBlobs& blobs) {
    HMENU popup = folder.menu.Handle();
    int count = popup ? GetMenuItemCount(popup) : 0;
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
            WriteRows(cache, *child, blobs);
            continue;
        }
        // An entry still showing its stand-in icon has nothing of its own to store yet.
        if (!(child->flags & NODE_ITEM) || child->fromCache || child->iconPending || record->imageIndex < 0)
            continue;
        // Entries showing the same icon of the shell's list got the same image from the same icon
        // handle, so the blob taken out of the first one's image list stands for all of them: taking an
        // icon out of an image list is the slow part of the write.
        auto known = child->systemImage >= 0 ? blobs.find(child->systemImage) : blobs.end();
        // Written once: a resident instance writes again after more icons came, not these rows again.
        if (known != blobs.end()) {
            child->fromCache =
                cache.WriteEntry(child->relativePath, child->flags, child->hash, child->name, known->second);
            continue;
        }
        IconHandle icon(folder.menu.Images().GetIcon(record->imageIndex), 1);
        std::vector<unsigned char> blob;
        if (!icon.Handle() || !icon.ToBlob(blob))
            continue;
        child->fromCache = cache.WriteEntry(child->relativePath, child->flags, child->hash, child->name, blob);
        if (child->systemImage >= 0)
            blobs.emplace(child->systemImage, std::move(blob));
    }
}

} // namespace

int CacheWriter::WriteCache(IconCache& cache, MenuNode& tree) {
    if (!cache.IsOpen())
        return 0;
    cache.BeginWrite();
    ShellBlobs blobs;
    WriteRows(cache, tree, blobs);
    return cache.EndWrite();
}
