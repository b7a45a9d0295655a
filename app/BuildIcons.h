#pragma once
// The icons one menu build puts into its menus, each loaded from the resources or decoded from a cache
// row once and shared by every menu of the build.

#include <windows.h>

#include <map>
#include <utility>
#include <vector>

class BuildIcons {
public:
    BuildIcons() = default;
    ~BuildIcons();
    BuildIcons(const BuildIcons&) = delete;
    BuildIcons& operator=(const BuildIcons&) = delete;

    // Exactly the list's size, so that the best image of the resource is picked instead of a scaled one.
    HICON Resource(HINSTANCE module, int id, int width, int height);
    // A stored icon turned into the colour and mask bitmaps an image list takes: menus of shortcuts to the
    // same programs then copy the same bitmaps instead of decoding the blob again. Null bitmaps when the
    // blob holds no image of exactly the list's size.
    const std::pair<HBITMAP, HBITMAP>& Decoded(const std::vector<unsigned char>& blob, int width, int height);
    // The module's icon resource at exactly width by height, as the bitmaps an image list takes (null bitmaps
    // when it has no such image, or not in the layout the fast decoder reads: then Resource gives the icon).
    const std::pair<HBITMAP, HBITMAP>& ResourceBitmaps(HINSTANCE module, int id, int width, int height);

private:
    std::map<int, HICON> resources;
    std::map<std::vector<unsigned char>, std::pair<HBITMAP, HBITMAP>> decoded;
};
