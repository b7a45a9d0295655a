#pragma once
// The icons one menu build puts into its menus, each loaded from the resources or decoded from a cache
// row once and shared by every menu of the build.

#include "base/IconPixels.h"

#include <windows.h>

#include <map>
#include <vector>

class BuildIcons {
public:
    BuildIcons() = default;
    ~BuildIcons();
    BuildIcons(const BuildIcons&) = delete;
    BuildIcons& operator=(const BuildIcons&) = delete;

    // Exactly the list's size, so that the best image of the resource is picked instead of a scaled one.
    HICON Resource(HINSTANCE module, int id, int width, int height);
    // A stored icon turned into the pixels an image list takes: menus of shortcuts to the same programs
    // then copy the same pixels instead of decoding the blob again. Kept in memory, not as bitmaps: a build
    // of the whole tree from the cache would otherwise hold two GDI objects per icon until it ends. Null
    // when the blob holds no image of exactly the list's size.
    const IconPixels* Decoded(const std::vector<unsigned char>& blob, int width, int height);
    // The module's icon resource at exactly width by height, as the pixels an image list takes (null when it
    // has no such image, or not in the layout the fast decoder reads: then Resource gives the icon).
    const IconPixels* ResourcePixels(HINSTANCE module, int id, int width, int height);
    // One of the system's icons (IDI_APPLICATION) at width by height as such pixels, loaded once; null when
    // it cannot be read that way (then Resource with a null module gives the icon).
    const IconPixels* SystemPixels(int id, int width, int height);

private:
    std::map<int, HICON> resources;
    // An image of width 0 for a blob that gave none.
    std::map<std::vector<unsigned char>, IconPixels> decoded;
};
