#pragma once
// The common-controls library, loaded at run time instead of imported. Its version 6 registers every
// control class and loads the visual-styles library as it is loaded, the largest single cost of
// starting the program under Wine (about 40 ms); a menu needs only its image lists, and not before the
// tree is read. Load may run early while other work goes on; the calls load it on first use anyway.

#include "base/Library.h"

#include <windows.h>

#include <commctrl.h>

class CommonControls {
public:
    // The library of the process, loaded on first use.
    static CommonControls& Get();
    static int Load() { return Get().library.Handle() != nullptr; }
    // Starts the loading on a thread of its own (once per process), for a caller with other work meanwhile:
    // Get on any thread then waits for that load instead of starting its own (the static in Get is
    // initialised once).
    static void LoadInBackground();

    HIMAGELIST ImageListCreate(int width, int height, UINT flags, int initial, int growth) const;
    BOOL ImageListDestroy(HIMAGELIST list) const;
    int ImageListAdd(HIMAGELIST list, HBITMAP image, HBITMAP mask) const;
    BOOL ImageListSetImageCount(HIMAGELIST list, UINT count) const;
    int ImageListReplaceIcon(HIMAGELIST list, int index, HICON icon) const;
    BOOL ImageListDrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int width, int height, COLORREF background,
                         COLORREF foreground, UINT style) const;
    HICON ImageListGetIcon(HIMAGELIST list, int index, UINT flags) const;
    BOOL ImageListGetIconSize(HIMAGELIST list, int* width, int* height) const;
    // InitCommonControlsEx where the library has it, else the older InitCommonControls.
    BOOL InitClasses(DWORD classes) const;

private:
    CommonControls();
    ~CommonControls() = default;
    CommonControls(const CommonControls&) = delete;
    CommonControls& operator=(const CommonControls&) = delete;

    Library library;
    decltype(&ImageList_Create) create = nullptr;
    decltype(&ImageList_Destroy) destroy = nullptr;
    decltype(&ImageList_Add) add = nullptr;
    decltype(&ImageList_SetImageCount) setImageCount = nullptr;
    decltype(&ImageList_ReplaceIcon) replaceIcon = nullptr;
    decltype(&ImageList_DrawEx) drawEx = nullptr;
    decltype(&ImageList_GetIcon) getIcon = nullptr;
    decltype(&ImageList_GetIconSize) getIconSize = nullptr;
    decltype(&InitCommonControlsEx) initEx = nullptr;
    decltype(&InitCommonControls) init = nullptr;
};
