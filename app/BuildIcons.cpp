#include "app/BuildIcons.h"

#include "app/IconBlob.h"

BuildIcons::~BuildIcons() {
    for (auto& icon : resources)
        DestroyIcon(icon.second);
    for (auto& bitmaps : decoded) {
        DeleteObject(bitmaps.second.first);
        DeleteObject(bitmaps.second.second);
    }
}

HICON BuildIcons::Resource(HINSTANCE module, int id, int width, int height) {
    auto known = resources.find(id);
    if (known != resources.end())
        return known->second;
    HICON icon =
        static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
    if (icon)
        resources[id] = icon;
    return icon;
}

const std::pair<HBITMAP, HBITMAP>& BuildIcons::Decoded(const std::vector<unsigned char>& blob, int width, int height) {
    auto known = decoded.find(blob);
    if (known != decoded.end())
        return known->second;
    std::pair<HBITMAP, HBITMAP> bitmaps(nullptr, nullptr);
    int decodedWidth = 0, decodedHeight = 0;
    if (BlobToBitmaps(blob.data(), blob.size(), width, &bitmaps.first, &bitmaps.second, &decodedWidth,
                      &decodedHeight) &&
        (decodedWidth != width || decodedHeight != height)) {
        DeleteObject(bitmaps.first);
        DeleteObject(bitmaps.second);
        bitmaps = std::pair<HBITMAP, HBITMAP>(nullptr, nullptr);
    }
    return decoded.emplace(blob, bitmaps).first->second;
}

const std::pair<HBITMAP, HBITMAP>& BuildIcons::ResourceBitmaps(HINSTANCE module, int id, int width, int height) {
    std::vector<unsigned char> blob;
    // An empty blob decodes to null bitmaps, which are kept as such.
    ResourceIconBlob(module, id, width, blob);
    return Decoded(blob, width, height);
}
