#include "base/CommonControls.h"

#include "base/KernelHandle.h"

CommonControls& CommonControls::Get() {
    // Never destroyed: image lists held by other static objects may be released after this one would
    // be, and must still find the library loaded.
    static CommonControls* library = new CommonControls;
    return *library;
}

namespace {

DWORD WINAPI LoadThread(void*) {
    CommonControls::Get();
    return 0;
}

} // namespace

void CommonControls::LoadInBackground() {
    static LONG started = 0;
    if (InterlockedExchange(&started, 1))
        return;
    // Get's function-local static is initialised once: a second thread that asks meanwhile waits for it.
    // Nobody waits for the thread itself, so its handle goes at once; without a thread the first call
    // loads the library.
    KernelHandle thread(CreateThread(nullptr, 0, LoadThread, nullptr, 0, nullptr));
}

CommonControls::CommonControls() {
    // By bare name: the program's manifest redirects it to version 6 side by side.
    if (!library.Load(L"comctl32.dll"))
        return;
    create = library.Get<decltype(create)>("ImageList_Create");
    destroy = library.Get<decltype(destroy)>("ImageList_Destroy");
    add = library.Get<decltype(add)>("ImageList_Add");
    setImageCount = library.Get<decltype(setImageCount)>("ImageList_SetImageCount");
    replaceIcon = library.Get<decltype(replaceIcon)>("ImageList_ReplaceIcon");
    drawEx = library.Get<decltype(drawEx)>("ImageList_DrawEx");
    getIcon = library.Get<decltype(getIcon)>("ImageList_GetIcon");
    getIconSize = library.Get<decltype(getIconSize)>("ImageList_GetIconSize");
    initEx = library.Get<decltype(initEx)>("InitCommonControlsEx");
    init = library.Get<decltype(init)>("InitCommonControls");
}

HIMAGELIST CommonControls::ImageListCreate(int width, int height, UINT flags, int initial, int growth) const {
    return create ? create(width, height, flags, initial, growth) : nullptr;
}

BOOL CommonControls::ImageListDestroy(HIMAGELIST list) const {
    return destroy ? destroy(list) : FALSE;
}

int CommonControls::ImageListAdd(HIMAGELIST list, HBITMAP image, HBITMAP mask) const {
    return add ? add(list, image, mask) : -1;
}

BOOL CommonControls::ImageListSetImageCount(HIMAGELIST list, UINT count) const {
    return setImageCount ? setImageCount(list, count) : FALSE;
}

int CommonControls::ImageListReplaceIcon(HIMAGELIST list, int index, HICON icon) const {
    return replaceIcon ? replaceIcon(list, index, icon) : -1;
}

BOOL CommonControls::ImageListDrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int width, int height,
                                     COLORREF background, COLORREF foreground, UINT style) const {
    return drawEx ? drawEx(list, index, dc, x, y, width, height, background, foreground, style) : FALSE;
}

HICON CommonControls::ImageListGetIcon(HIMAGELIST list, int index, UINT flags) const {
    return getIcon ? getIcon(list, index, flags) : nullptr;
}

BOOL CommonControls::ImageListGetIconSize(HIMAGELIST list, int* width, int* height) const {
    return getIconSize ? getIconSize(list, width, height) : FALSE;
}

BOOL CommonControls::InitClasses(DWORD classes) const {
    INITCOMMONCONTROLSEX request = {sizeof(request), classes};
    if (initEx && initEx(&request))
        return TRUE;
    if (!init)
        return FALSE;
    init();
    return TRUE;
}
