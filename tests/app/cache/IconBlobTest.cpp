#include "app/cache/IconBlob.h"
#include "app/cache/IconHandle.h"
#include "base/ImageList.h"
#include "base/Stopwatch.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

const DWORD Red = 0xFF0000;
const DWORD Green = 0x00FF00;
const DWORD Blue = 0x0000FF;
const size_t Pixels = 62; // header, one directory entry, BITMAPINFOHEADER

// Known pixels (DIB order 0xAARRGGBB), with every fifth one transparent.
int Transparent(int x, int y) {
    return (x + 2 * y) % 5 == 0;
}
DWORD PixelAt(int x, int y) {
    return Transparent(x, y) ? 0 : 0xFF000000 | (x * 7) << 16 | (y * 7) << 8 | 0x40;
}

// A 32-bit icon of those pixels with alpha and mask, like those the menus take out of their image lists.
HICON PatternIcon(int size) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP color = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bytes mask((size + 15) / 16 * 2 * size, 0);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            static_cast<DWORD*>(bits)[y * size + x] = PixelAt(x, y);
            if (Transparent(x, y))
                mask[y * ((size + 15) / 16 * 2) + x / 8] |= 0x80 >> (x % 8);
        }
    }
    HBITMAP maskBitmap = CreateBitmap(size, size, 1, 1, mask.data());
    ICONINFO icon = {TRUE, 0, 0, maskBitmap, color};
    HICON result = CreateIconIndirect(&icon);
    DeleteObject(color);
    DeleteObject(maskBitmap);
    return result;
}

Bytes BlobOf(HICON icon) {
    Bytes blob;
    IconHandle(icon, IconHandle::BORROWED).ToBlob(blob);
    return blob;
}

// A bitmap's rows as a bottom-up DIB of the given depth, padded to 4 bytes.
Bytes DibRows(HBITMAP bitmap, int bitCount) {
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } request = {
        {sizeof(BITMAPINFOHEADER), info.bmWidth, info.bmHeight, 1, static_cast<WORD>(bitCount), BI_RGB, 0, 0, 0, 0, 0},
        {}};
    Bytes rows(DibRowBytes(info.bmWidth, bitCount) * info.bmHeight);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, bitmap, 0, info.bmHeight, rows.data(), reinterpret_cast<BITMAPINFO*>(&request),
                          DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return lines == info.bmHeight ? rows : Bytes();
}

struct Decoded {
    int width = 0;
    int height = 0;
    Bytes color; // 32-bit rows
    Bytes mask;
    DWORD Center() const {
        return color.empty()
                   ? 0
                   : reinterpret_cast<const DWORD*>(color.data())[width * (height / 2) + width / 2] & 0xFFFFFF;
    }
};

Decoded Decode(HICON icon) {
    Decoded result;
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return result;
    BITMAP mask = {};
    GetObjectW(info.hbmMask, sizeof(mask), &mask);
    result.width = mask.bmWidth;
    // A monochrome icon keeps both halves in its mask.
    result.height = info.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
    if (info.hbmColor)
        result.color = DibRows(info.hbmColor, 32);
    result.mask = DibRows(info.hbmMask, 1);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return result;
}

int Near(DWORD color, DWORD other) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (abs(static_cast<int>(color >> shift & 0xFF) - static_cast<int>(other >> shift & 0xFF)) > 7)
            return 0;
    }
    return 1;
}

Decoded FromBlob(const Bytes& blob, int wantedSize) {
    IconHandle icon;
    return icon.FromBlob(blob.data(), blob.size(), wantedSize, IconHandle::OWNED) ? Decode(icon.Handle()) : Decoded();
}

DWORD Get(const Bytes& bytes, size_t at, int size) {
    DWORD value = 0;
    for (int i = size - 1; i >= 0; i--)
        value = value << 8 | bytes[at + i];
    return value;
}

void Put(Bytes& bytes, size_t at, DWORD value, int size) {
    for (int i = 0; i < size; i++)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// One opaque square image of one colour in the icon file's DIB layout; 8-bit images carry a palette.
Bytes SolidImage(int width, int bitCount, DWORD color) {
    int palette = bitCount == 8 ? 256 : 0;
    DWORD colorBytes = DibRowBytes(width, bitCount) * width;
    Bytes image(40 + palette * 4 + colorBytes + DibRowBytes(width, 1) * width, 0);
    Put(image, 0, 40, 4);
    Put(image, 4, width, 4);
    Put(image, 8, width * 2, 4);
    Put(image, 12, 1, 2);
    Put(image, 14, bitCount, 2);
    if (palette)
        Put(image, 44, color, 4); // entry 1
    DWORD value = bitCount == 8    ? 1
                  : bitCount == 16 ? (color >> 19 & 31) << 10 | (color >> 11 & 31) << 5 | (color >> 3 & 31)
                                   : color | 0xFF000000;
    for (int y = 0; y < width; y++) {
        for (int x = 0; x < width; x++)
            Put(image, 40 + palette * 4 + y * DibRowBytes(width, bitCount) + x * bitCount / 8, value, bitCount / 8);
    }
    return image;
}

struct Entry {
    int width;
    int bitCount;
    Bytes image;
};

Bytes IconFile(const std::vector<Entry>& entries, int type = 1) {
    Bytes file(6 + 16 * entries.size(), 0);
    Put(file, 2, type, 2);
    Put(file, 4, static_cast<DWORD>(entries.size()), 2);
    for (size_t i = 0; i < entries.size(); i++) {
        size_t at = 6 + 16 * i;
        file[at] = file[at + 1] = static_cast<unsigned char>(entries[i].width);
        Put(file, at + 4, 1, 2);
        Put(file, at + 6, entries[i].bitCount, 2);
        Put(file, at + 8, static_cast<DWORD>(entries[i].image.size()), 4);
        Put(file, at + 12, static_cast<DWORD>(file.size()), 4);
        file.insert(file.end(), entries[i].image.begin(), entries[i].image.end());
    }
    return file;
}

Entry Solid(int width, int bitCount, DWORD color) {
    return {width, bitCount, SolidImage(width, bitCount, color)};
}

// Holds a blob right before a page that cannot be read, so that any read past its end crashes the test.
class GuardedBlob {
public:
    explicit GuardedBlob(size_t capacity) {
        pageSize = 65536;
        total = (capacity + pageSize - 1) / pageSize * pageSize + pageSize;
        base = static_cast<unsigned char*>(VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous = 0;
        VirtualProtect(base + total - pageSize, pageSize, PAGE_NOACCESS, &previous);
    }
    ~GuardedBlob() { VirtualFree(base, 0, MEM_RELEASE); }
    const unsigned char* Place(const unsigned char* data, size_t size) {
        unsigned char* start = base + total - pageSize - size;
        memcpy(start, data, size);
        return start;
    }

private:
    unsigned char* base;
    size_t total;
    size_t pageSize;
};

// Both decoders on a guarded copy of the first length bytes: FromBlob's result, and BlobToBitmaps's in fast
// (-1 when it claims success with unusable bitmaps).
int DecodeGuarded(GuardedBlob& guard, const Bytes& blob, size_t length, int* fast) {
    const unsigned char* data = guard.Place(blob.data(), length);
    IconHandle icon;
    int decoded = icon.FromBlob(data, length, 16, IconHandle::OWNED);
    HBITMAP color = nullptr, mask = nullptr;
    int width = 0, height = 0;
    *fast = BlobToBitmaps(data, length, 16, &color, &mask, &width, &height);
    if (*fast && (width <= 0 || width > 256 || height <= 0 || !color || !mask))
        *fast = -1;
    DeleteObject(color);
    DeleteObject(mask);
    return decoded;
}

} // namespace

TEST(IconBlob, SizesFollowTheDimensions) {
    const int sizes[] = {16, 20, 36};
    const DWORD expected[] = {1150, 1742, 22 + 40 + 36 * 36 * 4 + 36 * 8};
    for (int i = 0; i < 3; i++) {
        HICON icon = PatternIcon(sizes[i]);
        Bytes blob = BlobOf(icon);
        DestroyIcon(icon);
        ASSERT_EQ(expected[i], blob.size()) << sizes[i];
        Bytes header(62, 0);
        Put(header, 2, 1, 2); // icon
        Put(header, 4, 1, 2); // one image
        header[6] = header[7] = static_cast<unsigned char>(sizes[i]);
        Put(header, 10, 1, 2);  // planes
        Put(header, 12, 32, 2); // bits
        Put(header, 14, expected[i] - 22, 4);
        Put(header, 18, 22, 4);
        Put(header, 22, 40, 4);
        Put(header, 26, sizes[i], 4);
        Put(header, 30, sizes[i] * 2, 4);
        Put(header, 34, 1, 2);
        Put(header, 36, 32, 2);
        Put(header, 42, expected[i] - 62, 4);
        EXPECT_EQ(header, Bytes(blob.begin(), blob.begin() + 62)) << sizes[i];
    }
}

TEST(IconBlob, ToBlobStoresThePixelsAndFromBlobGivesThemBack) {
    HICON icon = PatternIcon(16);
    Bytes blob = BlobOf(icon);
    DestroyIcon(icon);
    ASSERT_EQ(1150u, blob.size());
    for (int y = 0; y < 16; y++) {
        for (int x = 0; x < 16; x++) {
            int row = 15 - y; // bottom-up
            ASSERT_EQ(PixelAt(x, y), Get(blob, Pixels + (row * 16 + x) * 4, 4)) << x << "," << y;
            ASSERT_EQ(Transparent(x, y), (blob[Pixels + 1024 + row * 4 + x / 8] >> (7 - x % 8)) & 1);
        }
    }
    IconHandle decoded;
    ASSERT_EQ(1, decoded.FromBlob(blob.data(), blob.size(), 16, IconHandle::OWNED));
    Bytes again;
    ASSERT_EQ(1, decoded.ToBlob(again));
    EXPECT_EQ(blob, again);
}

TEST(IconBlob, BitmapsCarryTheStoredPixelsAndFitAnImageList) {
    HICON icon = PatternIcon(20);
    Bytes blob = BlobOf(icon);
    DestroyIcon(icon);
    HBITMAP color = nullptr, mask = nullptr;
    int width = 0, height = 0;
    ASSERT_EQ(1, BlobToBitmaps(blob.data(), blob.size(), 20, &color, &mask, &width, &height));
    EXPECT_EQ(20, width);
    EXPECT_EQ(20, height);
    DIBSECTION section = {};
    ASSERT_EQ(static_cast<int>(sizeof(section)), GetObjectW(color, sizeof(section), &section));
    EXPECT_EQ(0, memcmp(section.dsBm.bmBits, &blob[Pixels], 1600));
    EXPECT_EQ(Bytes(blob.begin() + Pixels + 1600, blob.end()), DibRows(mask, 1));

    // Through an image list the fast route shows what the icon route shows.
    ImageList fast, slow;
    ASSERT_EQ(1, fast.Create(IMAGELIST_COLOR32, 20, 20, 1, 1));
    ASSERT_EQ(1, slow.Create(IMAGELIST_COLOR32, 20, 20, 1, 1));
    EXPECT_EQ(0, ImageList_Add(fast.Handle(), color, mask));
    IconHandle decoded;
    ASSERT_EQ(1, decoded.FromBlob(blob.data(), blob.size(), 20, IconHandle::OWNED));
    EXPECT_EQ(0, slow.AddIcon(decoded.Handle()));
    // A deferred list keeps the bitmaps' pixels until it is made, by the icon taken out.
    ImageList deferred;
    ASSERT_EQ(1, deferred.Create(IMAGELIST_COLOR32 | IMAGELIST_DEFERRED, 20, 20, 1, 1));
    EXPECT_EQ(0, deferred.AddBitmaps(color, mask));
    // As pixels in memory the image is what GDI reads from the bitmaps.
    IconPixels pixels, read;
    ASSERT_EQ(1, BlobToPixels(blob.data(), blob.size(), 20, &pixels));
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(1, read.Read(screen, color, mask));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(read.color, pixels.color);
    EXPECT_EQ(read.mask, pixels.mask);
    DeleteObject(color);
    DeleteObject(mask);
    IconHandle fastIcon(fast.GetIcon(0), IconHandle::OWNED), slowIcon(slow.GetIcon(0), IconHandle::OWNED),
        deferredIcon(deferred.GetIcon(0), IconHandle::OWNED);
    Bytes fastBlob, slowBlob, deferredBlob;
    ASSERT_EQ(1, fastIcon.ToBlob(fastBlob));
    ASSERT_EQ(1, slowIcon.ToBlob(slowBlob));
    ASSERT_EQ(1, deferredIcon.ToBlob(deferredBlob));
    EXPECT_EQ(slowBlob, fastBlob);
    EXPECT_EQ(slowBlob, deferredBlob) << "the cache would store other bytes";
}

TEST(IconBlob, ShallowerLayoutsDecodeFastAndOthersAreLeftToTheSystem) {
    for (int bitCount : {16, 24}) {
        Bytes blob = IconFile({Solid(16, bitCount, 0xF8A830)});
        HBITMAP color = nullptr, mask = nullptr;
        int width = 0, height = 0;
        ASSERT_EQ(1, BlobToBitmaps(blob.data(), blob.size(), 16, &color, &mask, &width, &height)) << bitCount;
        // Five bits a channel at 16 bits per pixel: GDI may widen them by shifting or by repeating the top bits.
        EXPECT_TRUE(Near(0xF8A830, Get(DibRows(color, 32), 4 * 40, 3))) << bitCount;
        EXPECT_TRUE(Near(0xF8A830, FromBlob(blob, 16).Center())) << bitCount;
        // Kept as pixels by a deferred list, the image reaches the list made later as the bitmaps would.
        ImageList direct, deferred;
        IconPixels pixels;
        ASSERT_EQ(1, direct.Create(IMAGELIST_COLOR32, 16, 16, 1, 1));
        ASSERT_EQ(1, deferred.Create(IMAGELIST_COLOR32 | IMAGELIST_DEFERRED, 16, 16, 1, 1));
        ASSERT_EQ(1, BlobToPixels(blob.data(), blob.size(), 16, &pixels)) << bitCount;
        EXPECT_EQ(0, direct.AddBitmaps(color, mask));
        EXPECT_EQ(0, deferred.AddPixels(pixels));
        IconHandle directIcon(direct.GetIcon(0), IconHandle::OWNED),
            deferredIcon(deferred.GetIcon(0), IconHandle::OWNED);
        Bytes directBlob, deferredBlob;
        EXPECT_TRUE(directIcon.ToBlob(directBlob) && deferredIcon.ToBlob(deferredBlob) && directBlob == deferredBlob)
            << bitCount;
        DeleteObject(color);
        DeleteObject(mask);
    }
    Bytes palette = IconFile({Solid(16, 8, Blue)});
    Bytes cursor = IconFile({Solid(16, 32, Blue)}, 2);
    Bytes v4 = IconFile({Solid(16, 32, Blue)});
    v4.insert(v4.begin() + Pixels, 68, 0);
    Put(v4, 14, static_cast<DWORD>(v4.size() - 22), 4);
    Put(v4, 22, 108, 4);
    Bytes png = IconFile({Solid(16, 32, Blue)});
    memcpy(&png[22], "\x89PNG\r\n\x1a\n", 8);
    Bytes oddHeight = IconFile({Solid(16, 32, Blue)});
    Put(oddHeight, 30, 33, 4);
    Bytes otherWidth = IconFile({Solid(16, 32, Blue)});
    otherWidth[6] = 17;
    for (const Bytes* blob : {&palette, &cursor, &v4, &png, &oddHeight, &otherWidth}) {
        HBITMAP color = nullptr, mask = nullptr;
        int width = 0, height = 0;
        EXPECT_EQ(0, BlobToBitmaps(blob->data(), blob->size(), 16, &color, &mask, &width, &height));
        EXPECT_TRUE(!color && !mask);
    }
    EXPECT_EQ(Blue, FromBlob(palette, 16).Center());
}

TEST(IconBlob, ExactFitTakesTheDeepestImage) {
    for (const Bytes& blob : {IconFile({Solid(16, 8, Red), Solid(16, 32, Green)}),
                              IconFile({Solid(16, 32, Green), Solid(16, 8, Red), Solid(32, 32, Blue)}),
                              IconFile({Solid(48, 32, Blue), Solid(16, 32, Green), Solid(16, 32, Red)})}) {
        Decoded decoded = FromBlob(blob, 16);
        EXPECT_EQ(16, decoded.width);
        EXPECT_EQ(Green, decoded.Center());
        HBITMAP color = nullptr, mask = nullptr;
        int width = 0, height = 0;
        ASSERT_EQ(1, BlobToBitmaps(blob.data(), blob.size(), 16, &color, &mask, &width, &height));
        EXPECT_EQ(Green, Get(DibRows(color, 32), 0, 3));
        DeleteObject(color);
        DeleteObject(mask);
    }
}

TEST(IconBlob, BestFitPrefersCloserImagesWithAtLeastAsManyBits) {
    Decoded only = FromBlob(IconFile({Solid(32, 32, Blue)}), 16);
    EXPECT_EQ(32, only.width);
    EXPECT_EQ(Blue, only.Center());
    EXPECT_EQ(Green, FromBlob(IconFile({Solid(32, 32, Blue), Solid(20, 32, Green)}), 16).Center());
    EXPECT_EQ(Blue, FromBlob(IconFile({Solid(32, 32, Blue), Solid(20, 8, Green)}), 16).Center());
    EXPECT_EQ(Green, FromBlob(IconFile({Solid(20, 32, Green), Solid(32, 32, Blue)}), 16).Center());
    EXPECT_EQ(Green, FromBlob(IconFile({Solid(20, 8, Green), Solid(32, 32, Blue)}), 16).Center());
    EXPECT_EQ(Red, FromBlob(IconFile({Solid(20, 32, Green), Solid(12, 32, Red)}), 16).Center());

    // An entry without an image (offset 0) is passed over, however well it fits.
    Bytes noImage = IconFile({Solid(16, 32, Green), Solid(32, 32, Blue)});
    Put(noImage, 18, 0, 4);
    EXPECT_EQ(Blue, FromBlob(noImage, 16).Center());

    // The width byte 0 stands for 256: closer to 200 than 128 is.
    Bytes large = IconFile({Solid(128, 32, Blue), Solid(256, 32, Red)});
    IconBlobImage image;
    ASSERT_EQ(1, PickIconImage(large.data(), large.size(), 200, &image));
    EXPECT_EQ(256, image.entryWidth);
    EXPECT_EQ(0, image.exactFit);
    Decoded decoded = FromBlob(large, 256);
    EXPECT_EQ(256, decoded.width);
    EXPECT_EQ(Red, decoded.Center());
}

TEST(IconBlob, CursorsAndCursorFilesDecode) {
    HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(119));
    ASSERT_TRUE(cursor);
    Bytes blob;
    ASSERT_EQ(1, IconHandle(cursor, IconHandle::BORROWED).ToBlob(blob));
    Decoded original = Decode(cursor);
    Decoded decoded = FromBlob(blob, original.width);
    EXPECT_EQ(original.width, decoded.width);
    EXPECT_EQ(original.color, decoded.color);
    EXPECT_EQ(original.mask, decoded.mask);

    // A cursor file keeps the hotspot in its directory, where icon files keep planes and bits.
    Bytes file = IconFile({Solid(32, 32, Green)}, 2);
    Put(file, 10, 5, 2);
    Put(file, 12, 7, 2);
    IconHandle handle;
    ASSERT_EQ(1, handle.FromBlob(file.data(), file.size(), 32, IconHandle::OWNED));
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(handle.Handle(), &info));
    EXPECT_EQ(FALSE, info.fIcon);
    EXPECT_EQ(5u, info.xHotspot);
    EXPECT_EQ(7u, info.yHotspot);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(Green, Decode(handle.Handle()).Center());
}

TEST(IconBlob, HandleOwnsOnlyWhatItIsGiven) {
    HICON icon = PatternIcon(16);
    IconHandle handle;
    handle.Set(icon, IconHandle::OWNED);
    handle.Set(icon, IconHandle::OWNED); // the same icon again stays alive
    IconHandle moved(std::move(handle));
    EXPECT_EQ(nullptr, handle.Handle());
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    moved.Release();
    EXPECT_FALSE(DestroyIcon(icon));

    icon = PatternIcon(16);
    moved.Set(icon, IconHandle::BORROWED);
    moved.Release();
    EXPECT_TRUE(DestroyIcon(icon));

    // Without a colour bitmap there is nothing in our layout to write.
    Bytes zeros(2 * 16 * 2, 0);
    HBITMAP monochrome = CreateBitmap(16, 32, 1, 1, zeros.data());
    ICONINFO mono = {TRUE, 0, 0, monochrome, nullptr};
    IconHandle monoIcon(CreateIconIndirect(&mono), IconHandle::OWNED);
    DeleteObject(monochrome);
    Bytes blob;
    EXPECT_EQ(0, monoIcon.ToBlob(blob));
    EXPECT_EQ(0, IconHandle().ToBlob(blob));
}

TEST(IconBlobDamage, TruncatedBlobsFailAtEveryLength) {
    Bytes blob = IconFile({Solid(16, 8, Red), Solid(16, 32, Green)});
    GuardedBlob guard(blob.size());
    for (size_t length = 0; length < blob.size(); length++) {
        int fast = 0;
        EXPECT_EQ(0, DecodeGuarded(guard, blob, length, &fast)) << length;
        EXPECT_EQ(0, fast) << length;
    }
    int fast = 0;
    EXPECT_EQ(1, DecodeGuarded(guard, blob, blob.size(), &fast));
    EXPECT_EQ(1, fast);
}

TEST(IconBlobDamage, FieldsPointingOutsideTheBlobFail) {
    const Bytes good = IconFile({Solid(16, 32, Green), Solid(32, 32, Blue)});
    // Below offset 38 the file header and the directory, from there the header of the image picked for 16.
    struct Damage {
        size_t at;
        DWORD value;
        int size;
    } damages[] = {
        {0, 1, 2},           {2, 3, 2},           {4, 0, 2},           {4, 3, 2},           {4, 0xFFFF, 2},
        {14, 0xFFFFFFF0, 4}, {14, 0xFFFFFFFF, 4}, {18, 0xFFFFFFF0, 4}, {18, 0xFFFFFFFF, 4}, {30, 0xFFFFFFF0, 4},
        {30, 4265, 4},       {34, 0xFFFFFFF0, 4}, {34, 1167, 4},       {38, 0, 4},          {38, 12, 4},
        {38, 1129, 4},       {38, 0xFFFFFFF0, 4}, {42, 0, 4},          {42, 17, 4},         {42, 0x7FFFFFFF, 4},
        {42, 0xFFFFFFFF, 4}, {46, 1, 4},          {46, 34, 4},         {46, 0x7FFFFFFE, 4}, {46, 0xFFFFFFE0, 4},
        {50, 0, 2},          {52, 8, 2},          {52, 64, 2},         {52, 0xFFFF, 2},     {54, BI_BITFIELDS, 4},
        {54, BI_PNG, 4},     {70, 3, 4},          {70, 257, 4},        {70, 0xFFFFFFFF, 4}};
    GuardedBlob guard(good.size());
    for (const Damage& damage : damages) {
        Bytes blob = good;
        Put(blob, damage.at, damage.value, damage.size);
        int fast = 0;
        EXPECT_EQ(0, DecodeGuarded(guard, blob, blob.size(), &fast)) << damage.at << " " << damage.value;
        EXPECT_EQ(0, fast) << damage.at << " " << damage.value;
    }
    // No entry with an image; at the very end of the blob, an image too short for its own header,
    Bytes empty = good;
    Put(empty, 18, 0, 4);
    Put(empty, 34, 0, 4);
    // and a header that announces bit-field masks after its own end.
    Bytes shortImage = IconFile({Solid(16, 32, Green)});
    Put(shortImage, 14, 20, 4);
    shortImage.resize(42);
    Bytes noMasks = IconFile({Solid(16, 32, Green)});
    Put(noMasks, 14, 40, 4);
    Put(noMasks, 38, BI_BITFIELDS, 4);
    noMasks.resize(62);
    for (const Bytes* blob : {&empty, &shortImage, &noMasks}) {
        int fast = 0;
        EXPECT_EQ(0, DecodeGuarded(guard, *blob, blob->size(), &fast));
        EXPECT_EQ(0, fast);
    }
}

TEST(IconBlobDamage, RandomMutationsDecodeOrFailCleanly) {
    Bytes good = IconFile({Solid(16, 8, Red), Solid(32, 32, Blue), Solid(16, 32, Green)});
    GuardedBlob guard(good.size());
    // Mostly the directory and the images' headers, where damage changes what is read.
    std::vector<size_t> headers;
    for (size_t at = 0; at < 6 + 3 * 16; at++)
        headers.push_back(at);
    for (size_t entry = 6; entry < 6 + 3 * 16; entry += 16) {
        for (size_t at = Get(good, entry + 12, 4); at < Get(good, entry + 12, 4) + 52; at++)
            headers.push_back(at);
    }
    std::mt19937 random(20240611);
    int decoded = 0, fastDecoded = 0;
    for (int round = 0; round < 4000; round++) {
        Bytes blob = good;
        int changes = 1 + random() % 4;
        for (int i = 0; i < changes; i++) {
            size_t at = random() % 4 ? headers[random() % headers.size()] : random() % blob.size();
            blob[at] = random() % 3 ? static_cast<unsigned char>(random()) : 0xFF;
            if (at + 2 < blob.size() && random() % 4 == 0)
                blob[at + 1] = blob[at + 2] = 0xFF;
        }
        size_t length = random() % 8 ? blob.size() : random() % blob.size();
        int fast = 0;
        int decodedNow = DecodeGuarded(guard, blob, length, &fast);
        decoded += decodedNow;
        ASSERT_NE(-1, fast) << round;
        // Both pick the same image, and the fast decoder takes a subset of what the system decodes.
        EXPECT_TRUE(decodedNow || !fast) << round;
        fastDecoded += fast;
    }
    printf("random mutations: %d of 4000 decoded by FromBlob, %d by BlobToBitmaps\n", decoded, fastDecoded);
    EXPECT_GT(decoded, 0);
    EXPECT_LT(decoded, 4000);
    EXPECT_GT(fastDecoded, 0);
}

// Informational: decoding into icons and adding them costs far more than adding bitmaps under Wine.
TEST(IconBlob, TimingOfBothDecoders) {
    HICON icon = PatternIcon(16);
    Bytes blob = BlobOf(icon);
    DestroyIcon(icon);
    ImageList slow, fast;
    ASSERT_EQ(1, slow.Create(IMAGELIST_COLOR32, 16, 16, 1000, 100));
    ASSERT_EQ(1, fast.Create(IMAGELIST_COLOR32, 16, 16, 1000, 100));
    Stopwatch clock;
    clock.UseHighResolution(1);
    unsigned long long times[4] = {}; // FromBlob, ImageList_ReplaceIcon, BlobToBitmaps, ImageList_Add
    auto measure = [&](int which, auto step) {
        clock.Start();
        step();
        clock.Stop();
        times[which] += clock.Microseconds();
    };
    for (int i = 0; i < 1000; i++) {
        IconHandle decoded;
        measure(0, [&] { decoded.FromBlob(blob.data(), blob.size(), 16, IconHandle::OWNED); });
        measure(1, [&] { slow.AddIcon(decoded.Handle()); });
        HBITMAP color = nullptr, mask = nullptr;
        int width = 0, height = 0;
        measure(2, [&] { BlobToBitmaps(blob.data(), blob.size(), 16, &color, &mask, &width, &height); });
        measure(3, [&] { ImageList_Add(fast.Handle(), color, mask); });
        DeleteObject(color);
        DeleteObject(mask);
    }
    printf("1000 blobs: FromBlob %llu ms + ImageList_ReplaceIcon %llu ms; BlobToBitmaps %llu ms + ImageList_Add "
           "%llu ms\n",
           times[0] / 1000, times[1] / 1000, times[2] / 1000, times[3] / 1000);
    EXPECT_EQ(1000, ImageList_GetImageCount(slow.Handle()));
    EXPECT_EQ(1000, ImageList_GetImageCount(fast.Handle()));
}

// The program's own icons as single-image icon files: through an image list they show what the icon the
// system loads from the same resource shows, at every size the files hold; a size they lack is no fast
// image (the system then scales the nearest one), and a missing resource no blob.
TEST(IconBlob, ResourceIconsTakeTheFastRouteWithTheSystemsPixels) {
    HMODULE module = GetModuleHandleW(nullptr);
    for (int id : {IDI_FOLDER, IDI_CONTROL_PANEL, IDI_SHUTDOWN, IDI_EXIT}) {
        for (int size : {16, 20, 24, 32, 48}) {
            Bytes blob;
            ASSERT_EQ(1, ResourceIconBlob(module, id, size, blob)) << id << " " << size;
            HBITMAP color = nullptr, mask = nullptr;
            int width = 0, height = 0;
            ASSERT_EQ(1, BlobToBitmaps(blob.data(), blob.size(), size, &color, &mask, &width, &height)) << size;
            EXPECT_EQ(size, width);
            ImageList fast, slow;
            ASSERT_EQ(1, fast.Create(IMAGELIST_COLOR32, size, size, 1, 1));
            ASSERT_EQ(1, slow.Create(IMAGELIST_COLOR32, size, size, 1, 1));
            EXPECT_EQ(0, ImageList_Add(fast.Handle(), color, mask));
            DeleteObject(color);
            DeleteObject(mask);
            HICON loaded = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(nullptr, loaded);
            EXPECT_EQ(0, slow.AddIcon(loaded));
            DestroyIcon(loaded);
            IconHandle fastIcon(fast.GetIcon(0), IconHandle::OWNED), slowIcon(slow.GetIcon(0), IconHandle::OWNED);
            Bytes fastBlob, slowBlob;
            ASSERT_EQ(1, fastIcon.ToBlob(fastBlob));
            ASSERT_EQ(1, slowIcon.ToBlob(slowBlob));
            EXPECT_EQ(slowBlob, fastBlob) << id << " " << size;
        }
        Bytes nearest;
        ASSERT_EQ(1, ResourceIconBlob(module, id, 28, nearest));
        HBITMAP color = nullptr, mask = nullptr;
        int width = 0, height = 0;
        ASSERT_EQ(1, BlobToBitmaps(nearest.data(), nearest.size(), 28, &color, &mask, &width, &height));
        EXPECT_NE(28, width);
        DeleteObject(color);
        DeleteObject(mask);
    }
    Bytes none(4, 1);
    EXPECT_EQ(0, ResourceIconBlob(module, 4242, 16, none));
    EXPECT_TRUE(none.empty());
}
