#pragma once
// An entry's icon at a size other than the system's small icon, for a menu on a monitor of other dots per
// inch: read at that size from the file the icon lies in, else drawn at that size by the shell item's image
// factory, else taken from the next larger of the shell's system image lists and scaled down; never a smaller
// icon scaled up. Each way gives an icon the caller destroys, or null when it finds none.

#include <windows.h>

#include <commctrl.h>
#include <shtypes.h>

class SizedIcon {
public:
    // The icon at index in file (an icon location as the shell names it; a negative index is a resource id)
    // at size x size pixels.
    static HICON FromLocation(const wchar_t* file, int index, int size);
    // The shell item's icon (by its item ID list when list is not null, else by its path) at size pixels.
    static HICON FromImageFactory(const wchar_t* path, PCIDLIST_ABSOLUTE list, int size);
    // The icon at systemIndex of the smallest system image list at least size pixels large, smallList (the
    // one SHGFI_SMALLICON answered with) first, scaled down to size.
    static HICON FromSystemLists(HIMAGELIST smallList, int systemIndex, int size);
    // The icon scaled down to size x size pixels, each pixel the average of the pixels it covers; null when
    // the icon is smaller than that.
    static HICON ScaledDown(HICON icon, int size);
};
