#pragma once
// A common-controls image list sized for small or large icons, or the shell's system image list, which is
// borrowed and never destroyed.

#include <windows.h>

#include <commctrl.h>

// Creation flags
enum : unsigned {
    IMAGELIST_COLOR32 = 0x1, // 32-bit colour with mask whatever the screen's depth
    IMAGELIST_SYSTEM = 0x2,  // the shell's system image list; not owned
    IMAGELIST_SMALL = 0x4,   // icon size from SM_CXSMICON/SM_CYSMICON
    IMAGELIST_LARGE = 0x8,   // icon size from SM_CXICON/SM_CYICON
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
    int Draw(int index, HDC dc, int x, int y, int width, int height, COLORREF background, COLORREF foreground,
             UINT style) const;
    // The caller owns the icon and destroys it.
    HICON GetIcon(int index) const;

    // The ILC_COLOR* flag of a list without IMAGELIST_COLOR32 on such a screen, system and common controls
    // version ((major << 16) | minor).
    static UINT ColorFlag(int screenDepth, DWORD commonControlsVersion, int dosBasedWindows);

    HIMAGELIST Handle() const { return handle; }
    unsigned Flags() const { return flags; }
    int IconWidth() const { return iconWidth; }
    int IconHeight() const { return iconHeight; }

private:
    // With IMAGELIST_COLOR32 as well, a list of its own is made.
    int IsSystemList() const { return (flags & IMAGELIST_SYSTEM) && !(flags & IMAGELIST_COLOR32); }

    unsigned flags = 0;
    HIMAGELIST handle = nullptr;
    int iconWidth = 0;
    int iconHeight = 0;
};
