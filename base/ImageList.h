#pragma once
// A common-controls image list sized for small or large icons, or the shell's system image list, which is
// borrowed and never destroyed. A deferred list is made only when an icon is added or taken out, or a
// disabled image drawn: until then the images added wait as pixels in memory and are drawn from there, so
// that a menu from the cache is filled and shown without the common controls (whose loading under Wine
// costs the first menu of once mode about ten milliseconds) and without a GDI object per image.

#include "base/IconPixels.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

// Creation flags
enum : unsigned {
    IMAGELIST_COLOR32 = 0x1,   // 32-bit colour with mask whatever the screen's depth
    IMAGELIST_SYSTEM = 0x2,    // the shell's system image list; not owned
    IMAGELIST_SMALL = 0x4,     // icon size from SM_CXSMICON/SM_CYSMICON
    IMAGELIST_LARGE = 0x8,     // icon size from SM_CXICON/SM_CYICON
    IMAGELIST_DEFERRED = 0x10, // made at the first AddIcon, GetIcon or disabled Draw
};

class ImageList {
public:
    ImageList() = default;
    ~ImageList() { Destroy(); }
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;
    ImageList(ImageList&& other) noexcept;
    ImageList& operator=(ImageList&& other) noexcept;

    int Create(unsigned flags, int width, int height, int initial, int growth);
    // 1 when a list was given up (destroyed, or the system list forgotten); 0 when there was none.
    int Destroy();
    // The new image's index, or -1.
    int AddIcon(HICON icon);
    int AddIconResource(HINSTANCE module, UINT resourceId);
    // A colour bitmap and its mask (null for none) as ImageList_Add takes them; the caller keeps both.
    int AddBitmaps(HBITMAP color, HBITMAP mask);
    // The same image as the pixels of such bitmaps; a deferred list not made yet keeps a copy.
    int AddPixels(const IconPixels& image);
    int Draw(int index, HDC dc, int x, int y, int width, int height, COLORREF background, COLORREF foreground,
             UINT style);
    // The caller owns the icon and destroys it.
    HICON GetIcon(int index);

    // The ILC_COLOR* flag of a list without IMAGELIST_COLOR32 on such a screen, system and common controls
    // version ((major << 16) | minor).
    static UINT ColorFlag(int screenDepth, DWORD commonControlsVersion, int dosBasedWindows);

    // Null for a deferred list not made yet.
    HIMAGELIST Handle() const { return handle; }
    unsigned Flags() const { return flags; }
    int IconWidth() const { return iconWidth; }
    int IconHeight() const { return iconHeight; }

private:
    // With IMAGELIST_COLOR32 as well, a list of its own is made.
    int IsSystemList() const { return (flags & IMAGELIST_SYSTEM) && !(flags & IMAGELIST_COLOR32); }
    // An image added to a deferred list before it was made; its pixels lie in waitingColor and its mask
    // in waitingMask, at its index times the size of one image.
    struct Waiting {
        BYTE bitCount;
        BYTE hasMask;
        BYTE hasAlpha;
    };

    int MakeList();
    // A deferred list made now, with the images kept for it; 0 when there is no list.
    int Realize();
    void FreeWaiting();
    size_t MaskBytes() const { return IconPixels::MaskRowBytes(iconWidth) * iconHeight; }
    // What ImageList_DrawEx shows of the image with ILD_TRANSPARENT, drawn from the kept pixels.
    int DrawWaiting(size_t index, HDC dc, int x, int y);

    unsigned flags = 0;
    HIMAGELIST handle = nullptr;
    int initialCount = 0;
    int growthCount = 0;
    // A deferred list's images added before it was made, in their order, and their pixels one after
    // another: a list's cost in GDI objects stays the same however many images it holds.
    std::vector<Waiting> waiting;
    std::vector<DWORD> waitingColor;
    std::vector<BYTE> waitingMask;
    int iconWidth = 0;
    int iconHeight = 0;
};
