#include "app/cache/IconBlob.h"

#include "base/GdiObject.h"
#include "base/MemoryDc.h"

#include <stdint.h>
#include <string.h>

#include <vector>

namespace {

const size_t FileHeaderBytes = 6;
const size_t EntryBytes = 16;
const DWORD InfoHeaderBytes = 40;
const unsigned char PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// The blob comes from a file on disk: fields are read byte by byte, little-endian, from any alignment.
unsigned Read16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}

DWORD Read32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

// In an icon file a width byte of 0 stands for 256, the largest size the directory can describe.
int EntryWidth(const unsigned char* entry) {
    return entry[0] ? entry[0] : 256;
}

int64_t Distance(int width, int wantedSize) {
    int64_t difference = static_cast<int64_t>(width) - wantedSize;
    return difference < 0 ? -difference : difference;
}

// Checks that everything the image's header describes lies inside the image, so that neither our decoder
// nor CreateIconFromResourceEx (which trusts the header) reads past the blob. The sums are done in 64 bits:
// every term is below 2^62, so a corrupt header cannot make them wrap.
int CheckImage(IconBlobImage* image) {
    const unsigned char* data = image->data;
    if (image->size >= sizeof(PngSignature) && !memcmp(data, PngSignature, sizeof(PngSignature))) {
        image->format = ICON_IMAGE_PNG;
        return 1;
    }
    if (image->size < InfoHeaderBytes)
        return 0;
    DWORD headerSize = Read32(data);
    int32_t width = static_cast<int32_t>(Read32(data + 4));
    int32_t fullHeight = static_cast<int32_t>(Read32(data + 8));
    unsigned planes = Read16(data + 12);
    int bitCount = static_cast<int>(Read16(data + 14));
    DWORD compression = Read32(data + 16);
    DWORD colorsUsed = Read32(data + 32);
    // Older headers (BITMAPCOREHEADER) and top-down images never occur in icon files.
    if (headerSize < InfoHeaderBytes || headerSize > image->size || width <= 0 || fullHeight < 2 || planes != 1)
        return 0;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return 0;
    uint64_t tableBytes = 0;
    if (compression == BI_BITFIELDS) {
        if (bitCount != 16 && bitCount != 32)
            return 0;
        // The three channel masks follow a 40-byte header; the larger headers hold them inside.
        if (headerSize < InfoHeaderBytes + 12)
            tableBytes += 12;
    } else if (compression != BI_RGB) {
        return 0;
    }
    uint64_t colors = colorsUsed ? colorsUsed : (bitCount <= 8 ? 1u << bitCount : 0);
    tableBytes += colors * sizeof(RGBQUAD);

    // The header's height counts the colour rows and the mask rows.
    int height = fullHeight / 2;
    uint64_t colorBytes = static_cast<uint64_t>(DibRowBytes(width, bitCount)) * height;
    uint64_t maskBytes = static_cast<uint64_t>(DibRowBytes(width, 1)) * height;
    if (!colorBytes || !maskBytes || headerSize + tableBytes + colorBytes + maskBytes > image->size)
        return 0;

    // Only now are the masks known to lie inside the image.
    image->plainMasks = compression == BI_BITFIELDS && bitCount == 32 && Read32(data + 40) == 0xFF0000 &&
                        Read32(data + 44) == 0xFF00 && Read32(data + 48) == 0xFF;
    image->format = ICON_IMAGE_DIB;
    image->headerSize = headerSize;
    image->width = width;
    image->height = height;
    image->bitCount = bitCount;
    image->compression = compression;
    image->colorTableBytes = static_cast<DWORD>(tableBytes);
    image->colorBytes = static_cast<DWORD>(colorBytes);
    image->maskBytes = static_cast<DWORD>(maskBytes);
    return 1;
}

} // namespace

DWORD DibRowBytes(int width, int bitCount) {
    if (width <= 0 || bitCount <= 0)
        return 0;
    uint64_t bytes = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
    return bytes > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(bytes);
}

int PickIconImage(const unsigned char* blob, size_t size, int wantedSize, IconBlobImage* image) {
    *image = IconBlobImage();
    if (!blob || size < FileHeaderBytes)
        return 0;
    unsigned type = Read16(blob + 2);
    if (Read16(blob) != 0 || (type != 1 && type != 2))
        return 0;
    unsigned count = Read16(blob + 4);
    if (FileHeaderBytes + static_cast<uint64_t>(count) * EntryBytes > size)
        return 0;

    // Cursor files keep the hotspot's y where icon files keep the bit count, so there is nothing to compare.
    auto bitsOf = [type](const unsigned char* entry) { return type == 1 ? Read16(entry + 6) : 0u; };
    const unsigned char* best = nullptr;
    const unsigned char* exact = nullptr;
    for (unsigned i = 0; i < count; i++) {
        const unsigned char* entry = blob + FileHeaderBytes + i * EntryBytes;
        uint64_t bytes = Read32(entry + 8);
        uint64_t offset = Read32(entry + 12);
        // One entry out of bounds means the blob is damaged, even when a better entry would be picked.
        if (offset + bytes > size)
            return 0;
        // Offset 0 would be the file's own header: the entry has no image.
        if (!offset)
            continue;
        int width = EntryWidth(entry);
        // Among equally close widths the later one with at least as many bits wins; a closer image with fewer
        // bits than the one taken is passed over.
        if (!best ||
            (Distance(EntryWidth(best), wantedSize) >= Distance(width, wantedSize) && bitsOf(entry) >= bitsOf(best)))
            best = entry;
        if (width == wantedSize && (!exact || bitsOf(entry) > bitsOf(exact)))
            exact = entry;
    }
    const unsigned char* entry = exact ? exact : best;
    if (!entry)
        return 0;

    image->data = blob + Read32(entry + 12);
    image->size = Read32(entry + 8);
    image->isIcon = type == 1;
    if (!image->isIcon) {
        image->hotspotX = static_cast<int>(Read16(entry + 4));
        image->hotspotY = static_cast<int>(Read16(entry + 6));
    }
    image->entryWidth = EntryWidth(entry);
    image->exactFit = entry == exact;
    return CheckImage(image);
}

namespace {

// The image PickIconImage chooses, when it is in the layout IconHandle::ToBlob writes; the system decodes
// everything else.
int PickFastImage(const unsigned char* blob, size_t size, int wantedSize, IconBlobImage* image) {
    if (!PickIconImage(blob, size, wantedSize, image))
        return 0;
    if (!image->isIcon || image->format != ICON_IMAGE_DIB || image->headerSize != InfoHeaderBytes ||
        image->compression != BI_RGB || image->colorTableBytes || (image->width & 0xFF) != (image->entryWidth & 0xFF) ||
        Read32(image->data + 8) != static_cast<DWORD>(image->height) * 2)
        return 0;
    return image->bitCount == 16 || image->bitCount == 24 || image->bitCount == 32;
}

// The stored mask (bottom-up rows padded to 4 bytes) as CreateBitmap takes it: top-down rows padded to 2.
void MaskRows(const IconBlobImage& image, std::vector<unsigned char>& rows) {
    DWORD storedRow = DibRowBytes(image.width, 1);
    size_t row = (static_cast<size_t>(image.width) + 15) / 16 * 2;
    const unsigned char* stored = image.data + InfoHeaderBytes + image.colorBytes;
    rows.resize(row * image.height);
    for (int y = 0; y < image.height; y++)
        memcpy(&rows[y * row], stored + static_cast<size_t>(image.height - 1 - y) * storedRow, row);
}

} // namespace

int BlobToBitmaps(const unsigned char* blob, size_t size, int wantedSize, HBITMAP* color, HBITMAP* mask, int* width,
                  int* height) {
    *color = nullptr;
    *mask = nullptr;
    *width = 0;
    *height = 0;
    IconBlobImage image;
    if (!PickFastImage(blob, size, wantedSize, &image))
        return 0;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(image.bitCount);
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject colorBitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!colorBitmap.Handle() || !bits)
        return 0;
    const unsigned char* colorRows = image.data + InfoHeaderBytes;
    memcpy(bits, colorRows, image.colorBytes);

    std::vector<unsigned char> maskBits;
    MaskRows(image, maskBits);
    HBITMAP maskBitmap = CreateBitmap(image.width, image.height, 1, 1, maskBits.data());
    if (!maskBitmap)
        return 0;
    *color = colorBitmap.As<HBITMAP>();
    colorBitmap.Detach();
    *mask = maskBitmap;
    *width = image.width;
    *height = image.height;
    return 1;
}

int BlobToPixels(const unsigned char* blob, size_t size, int wantedSize, IconPixels* pixels) {
    IconBlobImage image;
    if (!PickFastImage(blob, size, wantedSize, &image))
        return 0;
    if (image.bitCount != 32) {
        // GDI widens 16 and 24 bits its own way (at 16 bits by shifting or by repeating the top bits): read
        // through it, the pixels are those the bitmaps would show.
        HBITMAP color = nullptr, mask = nullptr;
        int width = 0, height = 0;
        if (!BlobToBitmaps(blob, size, wantedSize, &color, &mask, &width, &height))
            return 0;
        GdiObject colorOwner(color), maskOwner(mask);
        MemoryDc dc(nullptr);
        return pixels->Read(dc, color, mask);
    }
    pixels->width = image.width;
    pixels->height = image.height;
    pixels->bitCount = 32;
    pixels->color.resize(static_cast<size_t>(image.width) * image.height);
    // Stored bottom-up, kept top-down.
    const unsigned char* colorRows = image.data + InfoHeaderBytes;
    for (int y = 0; y < image.height; y++)
        memcpy(&pixels->color[static_cast<size_t>(y) * image.width],
               colorRows + static_cast<size_t>(image.height - 1 - y) * image.width * 4,
               static_cast<size_t>(image.width) * 4);
    MaskRows(image, pixels->mask);
    return 1;
}

int ResourceIconBlob(HMODULE module, int id, int wantedSize, std::vector<unsigned char>& blob) {
    blob.clear();
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    HGLOBAL groupData = group ? LoadResource(module, group) : nullptr;
    const unsigned char* directory = groupData ? static_cast<const unsigned char*>(LockResource(groupData)) : nullptr;
    // The group's directory: a 6-byte header and 14-byte entries that name their images by resource id.
    if (!directory || SizeofResource(module, group) < FileHeaderBytes)
        return 0;
    int imageId =
        LookupIconIdFromDirectoryEx(const_cast<PBYTE>(directory), TRUE, wantedSize, wantedSize, LR_DEFAULTCOLOR);
    const unsigned char* entry = nullptr;
    unsigned count = Read16(directory + 4);
    if (SizeofResource(module, group) < FileHeaderBytes + 14 * count)
        return 0;
    for (unsigned i = 0; i < count && !entry; i++)
        if (Read16(directory + FileHeaderBytes + 14 * i + 12) == static_cast<unsigned>(imageId))
            entry = directory + FileHeaderBytes + 14 * i;
    HRSRC image = entry ? FindResourceW(module, MAKEINTRESOURCEW(imageId), RT_ICON) : nullptr;
    HGLOBAL imageData = image ? LoadResource(module, image) : nullptr;
    const unsigned char* bytes = imageData ? static_cast<const unsigned char*>(LockResource(imageData)) : nullptr;
    DWORD size = image ? SizeofResource(module, image) : 0;
    if (!bytes || !size)
        return 0;
    // An icon file: its header, one 16-byte entry (the group's first 12 bytes, then the image's offset) and
    // the image.
    blob.resize(FileHeaderBytes + EntryBytes + size);
    unsigned char* out = blob.data();
    const unsigned char header[FileHeaderBytes] = {0, 0, 1, 0, 1, 0};
    memcpy(out, header, FileHeaderBytes);
    memcpy(out + FileHeaderBytes, entry, 8);
    DWORD offset = static_cast<DWORD>(FileHeaderBytes + EntryBytes);
    for (int i = 0; i < 4; i++) {
        out[FileHeaderBytes + 8 + i] = static_cast<unsigned char>(size >> (8 * i));
        out[FileHeaderBytes + 12 + i] = static_cast<unsigned char>(offset >> (8 * i));
    }
    memcpy(out + offset, bytes, size);
    return 1;
}
