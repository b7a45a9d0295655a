#pragma once
// The packaged apps the last read of the Applications folder found, kept in the cache for the next start:
// a menu in once mode shows before a new read can end, and takes them from here. One row per app, of the
// flags NODE_APP alone (the row of an app's name and icon in the menu has NODE_ITEM too): the path is the
// app's ID, the hash its stamp, the name its name, and the icon column holds its package's folder (UTF-16,
// or one zero byte when it is not known).

#include "app/shell/PackagedApp.h"

#include <vector>

class IconCache;

class AppCatalogue {
public:
    // The apps kept, but not one whose package's folder is gone: an app removed since is never shown.
    static int Read(IconCache& cache, std::vector<PackagedApp>& apps);
    // Replaces the stored apps by these, in one transaction.
    static int Write(IconCache& cache, const std::vector<PackagedApp>& apps);
};
