#include "base/ImageList.h"

#include "base/CommonControls.h"
#include "base/MemoryDc.h"
#include "base/ScopedDc.h"
#include "base/SystemVersion.h"

#include <shellapi.h>

#include <new>

namespace {

int ScreenDepth() {
    ScopedDc screen;
    if (!screen)
        return 0;
    return GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
}

// The memory DC every deferred list draws its kept bitmaps from, made once for the process: one made and
// deleted per drawing cost as much again as the drawing. The lock keeps two threads from selecting into
// it at once.
struct DrawingDc {
    MemoryDc dc{nullptr};
    SRWLOCK lock = SRWLOCK_INIT;
};

DrawingDc& SharedDrawingDc() {
    static DrawingDc shared;
    return shared;
}

} // namespace

ImageList::ImageList(ImageList&& other) noexcept
    : flags(other.flags), handle(other.handle), initialCount(other.initialCount), growthCount(other.growthCount),
      waiting(std::move(other.waiting)), iconWidth(other.iconWidth), iconHeight(other.iconHeight) {
    other.handle = nullptr;
    other.waiting.clear();
}

ImageList& ImageList::operator=(ImageList&& other) noexcept {
    if (this != &other) {
        Destroy();
        flags = other.flags;
        handle = other.handle;
        initialCount = other.initialCount;
        growthCount = other.growthCount;
        waiting = std::move(other.waiting);
        iconWidth = other.iconWidth;
        iconHeight = other.iconHeight;
        other.handle = nullptr;
        other.waiting.clear();
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
    const CommonControls& controls = CommonControls::Get();
    for (size_t i = 0; i < waiting.size(); i++) {
        // The indices handed out stay right if an image cannot be added: a blank one takes its place.
        if (controls.ImageListAdd(handle, waiting[i].color, waiting[i].mask) != (int)i)
            controls.ImageListSetImageCount(handle, (UINT)i + 1);
    }
    FreeWaiting();
    return 1;
}

void ImageList::FreeWaiting() {
    for (const Waiting& image : waiting) {
        DeleteObject(image.color);
        if (image.mask)
            DeleteObject(image.mask);
        if (image.drawn)
            DeleteObject(image.drawn);
    }
    waiting.clear();
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
    // Copies: the caller's bitmaps may be gone before the list is made. A DIB section stays one, with its
    // alpha channel.
    HBITMAP colorCopy = static_cast<HBITMAP>(CopyImage(color, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    HBITMAP maskCopy = mask ? static_cast<HBITMAP>(CopyImage(mask, IMAGE_BITMAP, 0, 0, LR_MONOCHROME)) : nullptr;
    if (!colorCopy || (mask && !maskCopy)) {
        if (colorCopy)
            DeleteObject(colorCopy);
        if (maskCopy)
            DeleteObject(maskCopy);
        return -1;
    }
    try {
        waiting.push_back(Waiting{colorCopy, maskCopy, nullptr});
    } catch (const std::bad_alloc&) {
        DeleteObject(colorCopy);
        if (maskCopy)
            DeleteObject(maskCopy);
        return -1;
    }
    return (int)waiting.size() - 1;
}

int ImageList::Draw(int index, HDC dc, int x, int y, int width, int height, COLORREF background, COLORREF foreground,
                    UINT style) {
    if (!dc)
        return 0;
    // Until the list is made, a plain drawing comes from the kept bitmaps.
    if (!handle && index >= 0 && (size_t)index < waiting.size() && !(style & (ILD_BLEND25 | ILD_BLEND50 | ILD_MASK)) &&
        !width && !height)
        return DrawWaiting(waiting[(size_t)index], dc, x, y);
    if (!Realize())
        return 0;
    return CommonControls::Get().ImageListDrawEx(handle, index, dc, x, y, width, height, background, foreground,
                                                 style) != 0;
}

int ImageList::DrawWaiting(Waiting& image, HDC dc, int x, int y) {
    DrawingDc& shared = SharedDrawingDc();
    if (!shared.dc)
        return 0;
    int width = iconWidth, height = iconHeight;
    AcquireSRWLockExclusive(&shared.lock);
    if (!image.drawn) {
        // 32-bit top-down pixels: the colour image's own alpha where it has any, as the common controls
        // (version 6) take it; otherwise opaque wherever the mask is clear.
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<DWORD> pixels((size_t)width * height), mask;
        int read = GetDIBits(shared.dc, image.color, 0, (UINT)height, pixels.data(), &info, DIB_RGB_COLORS) == height;
        int hasAlpha = 0;
        for (DWORD pixel : pixels)
            hasAlpha |= (pixel >> 24) != 0;
        if (read && !hasAlpha && image.mask) {
            mask.resize(pixels.size());
            read = GetDIBits(shared.dc, image.mask, 0, (UINT)height, mask.data(), &info, DIB_RGB_COLORS) == height;
        }
        void* bits = nullptr;
        image.drawn = read ? CreateDIBSection(shared.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
        if (image.drawn && bits) {
            DWORD* target = static_cast<DWORD*>(bits);
            for (size_t i = 0; i < pixels.size(); i++) {
                DWORD pixel = pixels[i];
                DWORD alpha = hasAlpha ? pixel >> 24 : (!mask.empty() && (mask[i] & 0xFFFFFF)) ? 0 : 255;
                // Premultiplied, as AlphaBlend takes it.
                DWORD blue = (pixel & 0xFF) * alpha / 255, green = ((pixel >> 8) & 0xFF) * alpha / 255,
                      red = ((pixel >> 16) & 0xFF) * alpha / 255;
                target[i] = (alpha << 24) | (red << 16) | (green << 8) | blue;
            }
        }
    }
    BOOL drawn = FALSE;
    if (image.drawn) {
        HGDIOBJ previous = SelectObject(shared.dc, image.drawn);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        drawn = GdiAlphaBlend(dc, x, y, width, height, shared.dc, 0, 0, width, height, blend);
        SelectObject(shared.dc, previous);
    }
    ReleaseSRWLockExclusive(&shared.lock);
    return drawn != FALSE;
}

HICON ImageList::GetIcon(int index) {
    if (!Realize())
        return nullptr;
    return CommonControls::Get().ImageListGetIcon(handle, index, ILD_TRANSPARENT);
}
