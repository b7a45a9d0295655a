#pragma once
// Writes the name and icon of every entry shown in a built tree's menus into the icon cache, in one
// transaction. Rows read unchanged from the cache, or written before, are not written again; entries that
// still wait for their icon are left for a later write.

class IconCache;
class MenuNode;

class CacheWriter {
public:
    // 1 when the rows were committed (or there were none to write).
    static int WriteCache(IconCache& cache, MenuNode& tree);
};
