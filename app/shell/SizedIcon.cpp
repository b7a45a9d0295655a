#include "app/shell/SizedIcon.h"

#include "app/shell/AppIcon.h"
#include "base/ComPtr.h"
#include "base/CommonControls.h"
#include "base/GdiObject.h"
#include "base/IconPixels.h"
#include "base/OwnedIcon.h"
#include "base/ScopedDc.h"

#include <commoncontrols.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

namespace {

// Where source pixel i of a row (or column) of from pixels lands in one of to pixels (to <= from): in
// target pixel first, the fraction share of it, the rest in the next one.
struct Span {
    int first;
    double share;
};

std::vector<Span> Spans(int from, int to) {
    std::vector<Span> spans((size_t)from);
    const double scale = (double)to / from;
    for (int i = 0; i < from; i++) {
        double start = i * scale, end = (i + 1) * scale;
        int first = (int)start;
        if (first >= to - 1)
            spans[(size_t)i] = {to - 1, 1.0};
        else
            spans[(size_t)i] = {first, end > first + 1 ? (first + 1 - start) / scale : 1.0};
    }
    return spans;
}

} // namespace

HICON SizedIcon::FromLocation(const wchar_t* file, int index, int size) {
    if (!file || !*file || size <= 0)
        return nullptr;
    // The file's image closest to the size, made exactly that size; S_FALSE when the file holds no icon.
    HICON icon = nullptr;
    HRESULT result = SHDefExtractIconW(file, index, 0, &icon, nullptr, MAKELONG(size, 0));
    OwnedIcon owned(icon);
    return result == S_OK ? owned.Detach() : nullptr;
}

HICON SizedIcon::FromImageFactory(const wchar_t* path, PCIDLIST_ABSOLUTE list, int size) {
    ComPtr<IShellItem> item;
    HRESULT made = list ? SHCreateItemFromIDList(list, IID_IShellItem, item.OutVoid())
                        : SHCreateItemFromParsingName(path, nullptr, IID_IShellItem, item.OutVoid());
    ComPtr<IShellItemImageFactory> images;
    HBITMAP image = nullptr;
    // The icon alone, as for a packaged app: a document's thumbnail is no menu icon.
    if (FAILED(made) || FAILED(item->QueryInterface(IID_IShellItemImageFactory, images.OutVoid())) ||
        FAILED(images->GetImage(SIZE{size, size}, SIIGBF_RESIZETOFIT | SIIGBF_ICONONLY, &image)) || !image)
        return nullptr;
    GdiObject owned(image);
    return AppIcon::IconFromImage(image, size);
}

HICON SizedIcon::FromSystemLists(HIMAGELIST smallList, int systemIndex, int size) {
    if (systemIndex < 0 || size <= 0)
        return nullptr;
    const CommonControls& controls = CommonControls::Get();
    int width = 0, height = 0;
    HIMAGELIST list = smallList;
    ComPtr<IImageList> larger;
    // The lists share their indexes. SHGetImageList is the documented way to the larger ones; an
    // IImageList of the shell's is its HIMAGELIST.
    for (int kind : {SHIL_LARGE, SHIL_EXTRALARGE}) {
        if (list && controls.ImageListGetIconSize(list, &width, &height) && width >= size && height >= size)
            break;
        list = SUCCEEDED(SHGetImageList(kind, __uuidof(IImageList), larger.OutVoid()))
                   ? reinterpret_cast<HIMAGELIST>(larger.Get())
                   : nullptr;
    }
    if (!list || !controls.ImageListGetIconSize(list, &width, &height) || width < size || height < size)
        return nullptr;
    OwnedIcon icon(controls.ImageListGetIcon(list, systemIndex, ILD_NORMAL));
    if (!icon.Get())
        return nullptr;
    return width == size && height == size ? icon.Detach() : ScaledDown(icon.Get(), size);
}

HICON SizedIcon::ScaledDown(HICON icon, int size) {
    ICONINFO parts = {};
    if (!icon || size <= 0 || !GetIconInfo(icon, &parts))
        return nullptr;
    GdiObject colour(parts.hbmColor), mask(parts.hbmMask);
    IconPixels source;
    ScopedDc screen;
    // A monochrome icon (its mask holds both halves) has no colour image to scale.
    if (!parts.hbmColor || !source.Read(screen, parts.hbmColor, parts.hbmMask) || source.width < size ||
        source.height < size)
        return nullptr;
    const int alpha = source.HasAlpha();
    const size_t maskRow = IconPixels::MaskRowBytes(source.width);
    std::vector<Span> columns = Spans(source.width, size), rows = Spans(source.height, size);
    // Summed premultiplied, so that the colour of a transparent pixel does not tint its neighbours.
    std::vector<double> sums((size_t)size * size * 4, 0.0);
    for (int y = 0; y < source.height; y++) {
        for (int x = 0; x < source.width; x++) {
            DWORD pixel = source.color[(size_t)y * source.width + x];
            double opacity = 1.0;
            if (alpha)
                opacity = (pixel >> 24) / 255.0;
            else if (!source.mask.empty() && (source.mask[y * maskRow + x / 8] & (0x80 >> (x % 8))))
                opacity = 0.0;
            const double channels[4] = {(pixel & 0xFF) * opacity, (pixel >> 8 & 0xFF) * opacity,
                                        (pixel >> 16 & 0xFF) * opacity, 255.0 * opacity};
            const Span& column = columns[(size_t)x];
            const Span& row = rows[(size_t)y];
            for (int dy = 0; dy < 2; dy++) {
                double rowShare = dy ? 1.0 - row.share : row.share;
                for (int dx = 0; dx < 2 && rowShare > 0; dx++) {
                    double share = rowShare * (dx ? 1.0 - column.share : column.share);
                    if (share <= 0)
                        continue;
                    double* sum = &sums[((size_t)(row.first + dy) * size + column.first + dx) * 4];
                    for (int c = 0; c < 4; c++)
                        sum[c] += channels[c] * share;
                }
            }
        }
    }
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(format.bmiHeader), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    GdiObject image(CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!image.Handle() || !bits)
        return nullptr;
    // Each target pixel covers this many source pixels.
    const double area = (double)source.width * source.height / ((double)size * size);
    DWORD* target = static_cast<DWORD*>(bits);
    for (size_t i = 0; i < (size_t)size * size; i++) {
        DWORD value = 0;
        for (int c = 0; c < 4; c++) {
            double channel = sums[i * 4 + c] / area + 0.5;
            value |= (DWORD)(channel > 255 ? 255 : channel) << (8 * c);
        }
        target[i] = value;
    }
    return AppIcon::IconFromImage(image.As<HBITMAP>(), size);
}
