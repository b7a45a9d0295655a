#include "app/cache/BuildIcons.h"

#include "app/cache/IconBlob.h"
#include "app/cache/IconHandle.h"

#include <utility>

BuildIcons::~BuildIcons() {
    for (auto& icon : resources)
        DestroyIcon(icon.second);
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

const IconPixels* BuildIcons::Decoded(const std::vector<unsigned char>& blob, int width, int height) {
    auto known = decoded.find(blob);
    if (known == decoded.end()) {
        IconPixels pixels;
        if (!BlobToPixels(blob.data(), blob.size(), width, &pixels) || pixels.width != width || pixels.height != height)
            pixels = IconPixels();
        known = decoded.emplace(blob, std::move(pixels)).first;
    }
    return known->second.width ? &known->second : nullptr;
}

const IconPixels* BuildIcons::ResourcePixels(HINSTANCE module, int id, int width, int height) {
    std::vector<unsigned char> blob;
    // An empty blob decodes to nothing, which is kept as such.
    ResourceIconBlob(module, id, width, blob);
    return Decoded(blob, width, height);
}

const IconPixels* BuildIcons::SystemPixels(int id, int width, int height) {
    HICON icon = Resource(nullptr, id, width, height);
    std::vector<unsigned char> blob;
    if (!icon || !IconHandle(icon, IconHandle::BORROWED).ToBlob(blob))
        return nullptr;
    return Decoded(blob, width, height);
}
