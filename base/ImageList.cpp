#include "base/ImageList.h"

#include "base/CommonControls.h"
#include "base/GdiObject.h"
#include "base/MemoryDc.h"
#include "base/ScopedDc.h"
#include "base/ScopedSelect.h"
#include "base/SystemVersion.h"

#include <shellapi.h>

#include <string.h>

#include <new>
#include <utility>

namespace {

int ScreenDepth() {
    ScopedDc screen;
    if (!screen)
        return 0;
    return GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
}

// What every deferred list draws its kept pixels through, made once for the process: a memory DC and one
// 32-bit DIB section, into which an image's pixels are premultiplied for AlphaBlend at each drawing. A
// DC made and deleted per drawing cost as much again as the drawing, and a bitmap per image kept cost
// the process a GDI object per menu item. The lock keeps two threads from drawing through it at once.
struct DrawingDc {
    MemoryDc dc{nullptr};
    GdiObject bitmap;
    DWORD* bits = nullptr;
    int width = 0;
    int height = 0;
    SRWLOCK lock = SRWLOCK_INIT;

    // The bitmap at least width by height, made larger when a larger list draws.
    int Fit(int wantedWidth, int wantedHeight) {
        if (bits && wantedWidth <= width && wantedHeight <= height)
            return 1;
        int newWidth = wantedWidth > width ? wantedWidth : width,
            newHeight = wantedHeight > height ? wantedHeight : height;
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(info.bmiHeader), newWidth, -newHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* newBits = nullptr;
        GdiObject made(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &newBits, nullptr, 0));
        if (!made.Handle() || !newBits)
            return 0;
        bitmap = std::move(made);
        bits = static_cast<DWORD*>(newBits);
        width = newWidth;
        height = newHeight;
        return 1;
    }
};

DrawingDc& SharedDrawingDc() {
    static DrawingDc shared;
    return shared;
}

// Kept pixels handed to a made list as the bitmaps ImageList_Add takes, at the depth they were read from:
// one colour bitmap and one mask, made for the first image and written over for each further one.
class ListFeed {
public:
    ListFeed(HIMAGELIST target, int imageWidth, int imageHeight)
        : list(target), width(imageWidth), height(imageHeight) {}
    ListFeed(const ListFeed&) = delete;
    ListFeed& operator=(const ListFeed&) = delete;

    // The image's index in the list, or -1.
    int Add(const DWORD* pixels, const BYTE* maskBits, int bitCount) {
        if (!color.Handle() || colorDepth != bitCount) {
            BITMAPINFO info = {};
            info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, (WORD)bitCount, BI_RGB, 0, 0, 0, 0, 0};
            colorBits = nullptr;
            color.Attach(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &colorBits, nullptr, 0));
            colorDepth = bitCount;
        }
        if (maskBits && !mask.Handle())
            mask.Attach(CreateBitmap(width, height, 1, 1, nullptr));
        if (!color.Handle() || !colorBits || (maskBits && !mask.Handle()))
            return -1;
        if (bitCount == 32) {
            // The same layout: copied as they are, alpha included. ImageList_Add selects the bitmap into a
            // DC of its own and out again, so no drawing from it is pending when it is written over.
            memcpy(colorBits, pixels, (size_t)width * height * 4);
        } else {
            // GDI narrows the pixels to the bitmap's depth as it widened them when they were read.
            BITMAPINFO source = {};
            source.bmiHeader = {sizeof(source.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
            if (SetDIBits(dc, color.As<HBITMAP>(), 0, (UINT)height, pixels, &source, DIB_RGB_COLORS) != height)
                return -1;
        }
        if (maskBits && !SetBitmapBits(mask.As<HBITMAP>(), (DWORD)(IconPixels::MaskRowBytes(width) * height), maskBits))
            return -1;
        return CommonControls::Get().ImageListAdd(list, color.As<HBITMAP>(), maskBits ? mask.As<HBITMAP>() : nullptr);
    }

private:
    HIMAGELIST list;
    int width;
    int height;
    MemoryDc dc{nullptr};
    GdiObject color;
    void* colorBits = nullptr;
    int colorDepth = 0;
    GdiObject mask;
};

} // namespace

ImageList::ImageList(ImageList&& other) noexcept
    : flags(other.flags), handle(other.handle), initialCount(other.initialCount), growthCount(other.growthCount),
      waiting(std::move(other.waiting)), waitingColor(std::move(other.waitingColor)),
      waitingMask(std::move(other.waitingMask)), iconWidth(other.iconWidth), iconHeight(other.iconHeight) {
    other.handle = nullptr;
    other.FreeWaiting();
}

ImageList& ImageList::operator=(ImageList&& other) noexcept {
    if (this != &other) {
        Destroy();
        flags = other.flags;
        handle = other.handle;
        initialCount = other.initialCount;
        growthCount = other.growthCount;
        waiting = std::move(other.waiting);
        waitingColor = std::move(other.waitingColor);
        waitingMask = std::move(other.waitingMask);
        iconWidth = other.iconWidth;
        iconHeight = other.iconHeight;
        other.handle = nullptr;
        other.FreeWaiting();
    }
    return *this;
}

UINT ImageList::ColorFlag(int screenDepth, DWORD commonControlsVersion, int dosBasedWindows) {
    // Windows 95, 98 and ME have little room for GDI objects (their GDI heaps are 16-bit), so lists stay
    // at 8 bits there.
    if (dosBasedWindows)
        return ILC_COLOR8;
    // Lists deeper than the screen only cost memory; shallower ones lose colours.
    if (screenDepth >= 24) {
        // Before common controls 6 image lists ignore the alpha channel, so 32 bits would buy nothing.
        return commonControlsVersion >= 0x60000 ? ILC_COLOR32 : ILC_COLOR16;
    }
    if (screenDepth >= 16)
        return ILC_COLOR16;
    if (screenDepth >= 8)
        return ILC_COLOR8;
    if (screenDepth >= 4)
        return ILC_COLOR4;
    return ILC_COLOR;
}

int ImageList::Create(unsigned flags, int width, int height, int initial, int growth) {
    Destroy();
    this->flags = flags;
    if (flags & IMAGELIST_SMALL) {
        iconWidth = GetSystemMetrics(SM_CXSMICON);
        iconHeight = GetSystemMetrics(SM_CYSMICON);
    } else if (flags & IMAGELIST_LARGE) {
        iconWidth = GetSystemMetrics(SM_CXICON);
        iconHeight = GetSystemMetrics(SM_CYICON);
    } else {
        iconWidth = width;
        iconHeight = height;
    }

    initialCount = initial;
    growthCount = growth;
    if (flags & IMAGELIST_DEFERRED)
        return 1;
    return MakeList();
}

int ImageList::MakeList() {
    if (IsSystemList()) {
        // The shell hands out its own list, shared by the whole process; asking for the Windows folder's
        // icon is only a way to get at it.
        UINT query = SHGFI_SYSICONINDEX;
        if ((flags & IMAGELIST_SMALL) || (!(flags & IMAGELIST_LARGE) && iconHeight == GetSystemMetrics(SM_CYSMICON)))
            query |= SHGFI_SMALLICON;
        wchar_t windows[MAX_PATH];
        if (!GetWindowsDirectoryW(windows, MAX_PATH))
            return 0;
        SHFILEINFOW info = {};
        handle = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(windows, 0, &info, sizeof(info), query));
        if (!handle)
            return 0;
        // The shell decides the size; images added later must match it.
        CommonControls::Get().ImageListGetIconSize(handle, &iconWidth, &iconHeight);
        return 1;
    }
    UINT color = ILC_COLOR32;
    if (!(flags & IMAGELIST_COLOR32)) {
        // Asked once per process: every menu makes a list, and each answer cost a trip to the window
        // system for the screen's DC (several wineserver round trips under Wine). None of it changes
        // while the program runs, short of a change of display depth, which Windows 8 and later no
        // longer offer.
        static const UINT screenColor = ColorFlag(ScreenDepth(), CommonControlsVersion(), !IsNtPlatform());
        color = screenColor;
    }
    handle = CommonControls::Get().ImageListCreate(iconWidth, iconHeight, color | ILC_MASK, initialCount, growthCount);
    return handle != nullptr;
}

int ImageList::Realize() {
    if (handle)
        return 1;
    if (!(flags & IMAGELIST_DEFERRED) || !iconWidth || !MakeList())
        return 0;
    ListFeed feed(handle, iconWidth, iconHeight);
    size_t pixels = (size_t)iconWidth * iconHeight;
    for (size_t i = 0; i < waiting.size(); i++) {
        // The indices handed out stay right if an image cannot be added: a blank one takes its place.
        if (feed.Add(&waitingColor[i * pixels], waiting[i].hasMask ? &waitingMask[i * MaskBytes()] : nullptr,
                     waiting[i].bitCount) != (int)i)
            CommonControls::Get().ImageListSetImageCount(handle, (UINT)i + 1);
    }
    FreeWaiting();
    return 1;
}

void ImageList::FreeWaiting() {
    // Swapped with empty ones: clear() keeps the memory, which a made list no longer needs.
    std::vector<Waiting>().swap(waiting);
    std::vector<DWORD>().swap(waitingColor);
    std::vector<BYTE>().swap(waitingMask);
}

int ImageList::Destroy() {
    int hadWaiting = !waiting.empty();
    FreeWaiting();
    if (!handle)
        return hadWaiting;
    // Destroying the system list would take the icons away from every window of the process that shows it.
    int result = IsSystemList() ? 1 : CommonControls::Get().ImageListDestroy(handle) != 0;
    handle = nullptr;
    return result;
}

int ImageList::AddIcon(HICON icon) {
    if (!icon || !Realize())
        return -1;
    return CommonControls::Get().ImageListReplaceIcon(handle, -1, icon);
}

int ImageList::AddIconResource(HINSTANCE module, UINT resourceId) {
    if (!handle && !(flags & IMAGELIST_DEFERRED))
        return -1;
    // Exactly the list's size, so that the best image of the resource is picked instead of a scaled one.
    HICON icon = static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, iconWidth, iconHeight, LR_DEFAULTCOLOR));
    if (!icon)
        return -1;
    int index = AddIcon(icon);
    DestroyIcon(icon);
    return index;
}

int ImageList::AddBitmaps(HBITMAP color, HBITMAP mask) {
    if (!color)
        return -1;
    if (handle)
        return CommonControls::Get().ImageListAdd(handle, color, mask);
    if (!(flags & IMAGELIST_DEFERRED) || !iconWidth)
        return -1;
    // Read now: the caller's bitmaps may be gone before the list is made.
    IconPixels image;
    DrawingDc& shared = SharedDrawingDc();
    AcquireSRWLockExclusive(&shared.lock);
    int read = shared.dc && image.Read(shared.dc, color, mask);
    ReleaseSRWLockExclusive(&shared.lock);
    return read ? AddPixels(image) : -1;
}

int ImageList::AddPixels(const IconPixels& image) {
    size_t pixels = (size_t)image.width * image.height;
    if (!pixels || image.color.size() != pixels ||
        (!image.mask.empty() && image.mask.size() != IconPixels::MaskRowBytes(image.width) * image.height))
        return -1;
    // An image of another size is cut and split as the list itself does it.
    if ((image.width != iconWidth || image.height != iconHeight) && !Realize())
        return -1;
    if (handle) {
        ListFeed feed(handle, image.width, image.height);
        return feed.Add(image.color.data(), image.mask.empty() ? nullptr : image.mask.data(), image.bitCount);
    }
    if (!(flags & IMAGELIST_DEFERRED))
        return -1;
    try {
        if (waiting.empty()) {
            // Room for the list's initial count from the start, as the list itself would make.
            waiting.reserve((size_t)initialCount);
            waitingColor.reserve((size_t)initialCount * pixels);
            waitingMask.reserve((size_t)initialCount * MaskBytes());
        }
        waitingColor.insert(waitingColor.end(), image.color.begin(), image.color.end());
        if (image.mask.empty())
            waitingMask.resize(waitingMask.size() + MaskBytes(), 0);
        else
            waitingMask.insert(waitingMask.end(), image.mask.begin(), image.mask.end());
        waiting.push_back(Waiting{(BYTE)image.bitCount, (BYTE)!image.mask.empty(), (BYTE)image.HasAlpha()});
    } catch (const std::bad_alloc&) {
        // Back to the images before this one.
        waitingColor.resize(waiting.size() * pixels);
        waitingMask.resize(waiting.size() * MaskBytes());
        return -1;
    }
    return (int)waiting.size() - 1;
}

int ImageList::Draw(int index, HDC dc, int x, int y, int width, int height, COLORREF background, COLORREF foreground,
                    UINT style) {
    if (!dc)
        return 0;
    // Until the list is made, a plain drawing comes from the kept pixels.
    if (!handle && index >= 0 && (size_t)index < waiting.size() && !(style & (ILD_BLEND25 | ILD_BLEND50 | ILD_MASK)) &&
        !width && !height)
        return DrawWaiting((size_t)index, dc, x, y);
    if (!Realize())
        return 0;
    return CommonControls::Get().ImageListDrawEx(handle, index, dc, x, y, width, height, background, foreground,
                                                 style) != 0;
}

int ImageList::DrawWaiting(size_t index, HDC dc, int x, int y) {
    DrawingDc& shared = SharedDrawingDc();
    if (!shared.dc)
        return 0;
    const int width = iconWidth, height = iconHeight;
    const Waiting& image = waiting[index];
    const DWORD* pixels = &waitingColor[index * width * height];
    const BYTE* mask = &waitingMask[index * MaskBytes()];
    size_t maskRow = IconPixels::MaskRowBytes(width);
    BOOL drawn = FALSE;
    AcquireSRWLockExclusive(&shared.lock);
    if (shared.Fit(width, height)) {
        for (int row = 0; row < height; row++) {
            DWORD* target = shared.bits + (size_t)row * shared.width;
            for (int column = 0; column < width; column++) {
                DWORD pixel = pixels[row * width + column];
                // The colour's own alpha where the image has any, as the common controls (version 6) take
                // it; otherwise opaque wherever the mask is clear.
                DWORD alpha = image.hasAlpha ? pixel >> 24
                              : (image.hasMask && (mask[row * maskRow + column / 8] & (0x80 >> (column % 8)))) ? 0
                                                                                                               : 255;
                // Premultiplied, as AlphaBlend takes it. Most pixels of an icon are opaque or clear, and
                // need no arithmetic: this runs for every icon each time a kept menu is shown.
                if (alpha == 255 || !alpha) {
                    target[column] = alpha ? pixel | 0xFF000000 : 0;
                    continue;
                }
                DWORD blue = (pixel & 0xFF) * alpha / 255, green = ((pixel >> 8) & 0xFF) * alpha / 255,
                      red = ((pixel >> 16) & 0xFF) * alpha / 255;
                target[column] = (alpha << 24) | (red << 16) | (green << 8) | blue;
            }
        }
        // The bitmap is selected for the drawing alone. SelectObject, which GDI never batches, empties the
        // thread's batch: when the lock is given back no drawing from the bitmap is pending, and the next
        // drawing may write its pixels without GdiFlush.
        ScopedSelect selected(shared.dc, shared.bitmap.Handle());
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        if (selected.Selected())
            drawn = GdiAlphaBlend(dc, x, y, width, height, shared.dc, 0, 0, width, height, blend);
    }
    ReleaseSRWLockExclusive(&shared.lock);
    return drawn != FALSE;
}

HICON ImageList::GetIcon(int index) {
    if (!Realize())
        return nullptr;
    return CommonControls::Get().ImageListGetIcon(handle, index, ILD_TRANSPARENT);
}
