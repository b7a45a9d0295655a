#include "base/ImageList.h"

#include "base/CommonControls.h"
#include "base/ScopedDc.h"
#include "base/SystemVersion.h"

#include <shellapi.h>

namespace {

int ScreenDepth() {
    ScopedDc screen;
    if (!screen)
        return 0;
    return GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
}

} // namespace

ImageList::ImageList(ImageList&& other) noexcept
    : flags(other.flags), handle(other.handle), iconWidth(other.iconWidth), iconHeight(other.iconHeight) {
    other.handle = nullptr;
}

ImageList& ImageList::operator=(ImageList&& other) noexcept {
    if (this != &other) {
        Destroy();
        flags = other.flags;
        handle = other.handle;
        iconWidth = other.iconWidth;
        iconHeight = other.iconHeight;
        other.handle = nullptr;
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

    if (IsSystemList()) {
        // The shell hands out its own list, shared by the whole process; asking for the Windows folder's
        // icon is only a way to get at it.
        UINT query = SHGFI_SYSICONINDEX;
        if ((flags & IMAGELIST_SMALL) || (!(flags & IMAGELIST_LARGE) && height == GetSystemMetrics(SM_CYSMICON)))
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
    handle = CommonControls::Get().ImageListCreate(iconWidth, iconHeight, color | ILC_MASK, initial, growth);
    return handle != nullptr;
}

int ImageList::Destroy() {
    if (!handle)
        return 0;
    // Destroying the system list would take the icons away from every window of the process that shows it.
    int result = IsSystemList() ? 1 : CommonControls::Get().ImageListDestroy(handle) != 0;
    handle = nullptr;
    return result;
}

int ImageList::AddIcon(HICON icon) {
    if (!handle || !icon)
        return -1;
    return CommonControls::Get().ImageListReplaceIcon(handle, -1, icon);
}

int ImageList::AddIconResource(HINSTANCE module, UINT resourceId) {
    if (!handle)
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

int ImageList::Draw(int index, HDC dc, int x, int y, int width, int height, COLORREF background, COLORREF foreground,
                    UINT style) const {
    if (!handle || !dc)
        return 0;
    return CommonControls::Get().ImageListDrawEx(handle, index, dc, x, y, width, height, background, foreground,
                                                 style) != 0;
}

HICON ImageList::GetIcon(int index) const {
    if (!handle)
        return nullptr;
    return CommonControls::Get().ImageListGetIcon(handle, index, ILD_TRANSPARENT);
}
