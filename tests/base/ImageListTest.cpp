#include "base/Canvas.h"
#include "base/ImageList.h"
#include "base/SystemVersion.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <unknwn.h>

#include <memory>
#include <vector>

namespace {

const COLORREF Red = RGB(255, 0, 0);
const COLORREF Blue = RGB(0, 0, 255);
const COLORREF White = RGB(255, 255, 255);

// An opaque icon of one colour: a screen-compatible colour bitmap and an all-zero mask.
HICON SolidIcon(int size, COLORREF color) {
    Canvas image;
    image.CreateBitmap(size, size, 0, 0, nullptr, 0);
    image.FillRectangle(color, 0, 0, 0, 0);
    std::vector<BYTE> zeros((size + 15) / 16 * 2 * size, 0);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, zeros.data());
    ICONINFO info = {TRUE, 0, 0, mask, image.Bitmap()};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    return icon;
}

// Bits per pixel of the bitmap that holds the images of a list with one red icon.
int ImageDepth(ImageList& list) {
    HICON icon = SolidIcon(list.IconWidth(), Red);
    list.AddIcon(icon);
    DestroyIcon(icon);
    IMAGEINFO info = {};
    BITMAP bitmap = {};
    if (!ImageList_GetImageInfo(list.Handle(), 0, &info) || !GetObjectW(info.hbmImage, sizeof(bitmap), &bitmap))
        return -1;
    return bitmap.bmBitsPixel;
}

HIMAGELIST SystemList(UINT size) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    SHFILEINFOW info = {};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(windows, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | size));
}

// The list's COM reference count, which ImageList_Destroy lowers; 0 when it cannot be read.
// HIMAGELIST_QueryInterface exists from common controls 6 on, so it is looked up rather than imported.
ULONG References(HIMAGELIST list) {
    typedef HRESULT(WINAPI * QueryFn)(HIMAGELIST, REFIID, void**);
    QueryFn query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "HIMAGELIST_QueryInterface")));
    IUnknown* unknown = nullptr;
    if (!query || FAILED(query(list, IID_IUnknown, reinterpret_cast<void**>(&unknown))) || !unknown)
        return 0;
    return unknown->Release();
}

} // namespace

TEST(ImageList, SizeFlagsOverrideTheGivenSize) {
    ImageList list;
    int width = 0, height = 0;
    ASSERT_EQ(1, list.Create(IMAGELIST_SMALL, 48, 40, 2, 2));
    ASSERT_TRUE(ImageList_GetIconSize(list.Handle(), &width, &height));
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), width);
    EXPECT_EQ(GetSystemMetrics(SM_CYSMICON), height);
    EXPECT_EQ(width, list.IconWidth());

    ASSERT_EQ(1, list.Create(IMAGELIST_LARGE, 20, 20, 2, 2));
    ASSERT_TRUE(ImageList_GetIconSize(list.Handle(), &width, &height));
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), width);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), height);

    ASSERT_EQ(1, list.Create(0, 20, 24, 2, 2));
    ASSERT_TRUE(ImageList_GetIconSize(list.Handle(), &width, &height));
    EXPECT_EQ(20, width);
    EXPECT_EQ(24, height);
}

TEST(ImageList, ColourDepthFollowsScreenSystemAndCommonControls) {
    const DWORD v581 = (5 << 16) | 81, v600 = 6 << 16;
    EXPECT_EQ(ILC_COLOR32, ImageList::ColorFlag(24, v600, 0));
    EXPECT_EQ(ILC_COLOR32, ImageList::ColorFlag(32, v600 | 10, 0));
    EXPECT_EQ(ILC_COLOR16, ImageList::ColorFlag(32, v581, 0));
    EXPECT_EQ(ILC_COLOR16, ImageList::ColorFlag(16, v600, 0));
    EXPECT_EQ(ILC_COLOR8, ImageList::ColorFlag(15, v600, 0));
    EXPECT_EQ(ILC_COLOR4, ImageList::ColorFlag(7, v600, 0));
    EXPECT_EQ(ILC_COLOR, ImageList::ColorFlag(1, v600, 0));
    EXPECT_EQ(ILC_COLOR8, ImageList::ColorFlag(32, v600, 1));

    // The real list has the depth the rule gives for this screen and these common controls (Wine's
    // comctl32 reports 5.81, so 16 bits here); with IMAGELIST_COLOR32 it is 32 bits on any screen.
    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    UINT expected = ImageList::ColorFlag(depth, CommonControlsVersion(), !IsNtPlatform());
    ImageList list;
    ASSERT_EQ(1, list.Create(IMAGELIST_SMALL, 0, 0, 1, 1));
    EXPECT_EQ(expected == ILC_COLOR32 ? 32 : expected == ILC_COLOR16 ? 16 : 8, ImageDepth(list));
    ASSERT_EQ(1, list.Create(IMAGELIST_COLOR32 | IMAGELIST_SMALL, 0, 0, 1, 1));
    EXPECT_EQ(32, ImageDepth(list));
}

TEST(ImageList, SystemListIsBorrowedAndSurvivesDestroy) {
    HIMAGELIST small = SystemList(SHGFI_SMALLICON);
    int count = ImageList_GetImageCount(small);
    ASSERT_GT(count, 0);
    std::unique_ptr<ImageList> list(new ImageList);
    ASSERT_EQ(1, list->Create(IMAGELIST_SYSTEM | IMAGELIST_SMALL, 0, 0, 0, 0));
    EXPECT_EQ(small, list->Handle());
    // The shell may count the lists it hands out; giving ours up must not release it.
    ULONG references = References(small);
    ASSERT_GT(references, 0u);
    EXPECT_EQ(1, list->Destroy());
    EXPECT_EQ(nullptr, list->Handle());
    EXPECT_EQ(references, References(small));
    ASSERT_EQ(1, list->Create(IMAGELIST_SYSTEM | IMAGELIST_SMALL, 0, 0, 0, 0));
    references = References(small);
    list.reset();
    EXPECT_EQ(references, References(small));
    EXPECT_EQ(count, ImageList_GetImageCount(small));
    HICON icon = ImageList_GetIcon(small, 0, ILD_NORMAL);
    EXPECT_NE(nullptr, icon);
    DestroyIcon(icon);
}

TEST(ImageList, SystemListSizeFollowsTheFlagsOrTheRequestedHeight) {
    HIMAGELIST small = SystemList(SHGFI_SMALLICON);
    HIMAGELIST large = SystemList(0);
    ASSERT_NE(small, large);
    ImageList list;
    ASSERT_EQ(1, list.Create(IMAGELIST_SYSTEM, 0, GetSystemMetrics(SM_CYSMICON), 0, 0));
    EXPECT_EQ(small, list.Handle());
    ASSERT_EQ(1, list.Create(IMAGELIST_SYSTEM | IMAGELIST_LARGE, 0, GetSystemMetrics(SM_CYSMICON), 0, 0));
    EXPECT_EQ(large, list.Handle());
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), list.IconWidth());
    ASSERT_EQ(1, list.Create(IMAGELIST_SYSTEM, 0, 0, 0, 0));
    EXPECT_EQ(large, list.Handle());
    // With the 32-bit flag the list is a new, empty one of its own.
    ASSERT_EQ(1, list.Create(IMAGELIST_SYSTEM | IMAGELIST_COLOR32 | IMAGELIST_SMALL, 0, 0, 1, 1));
    EXPECT_NE(small, list.Handle());
    EXPECT_EQ(0, ImageList_GetImageCount(list.Handle()));
}

TEST(ImageList, AddedIconsDrawAndComeBack) {
    ImageList list;
    EXPECT_EQ(-1, list.AddIcon(nullptr));
    EXPECT_EQ(nullptr, list.GetIcon(0));
    EXPECT_EQ(0, list.Destroy());
    ASSERT_EQ(1, list.Create(IMAGELIST_COLOR32, 16, 16, 2, 2));
    HICON red = SolidIcon(16, Red), blue = SolidIcon(16, Blue);
    EXPECT_EQ(0, list.AddIcon(red));
    EXPECT_EQ(1, list.AddIcon(blue));
    DestroyIcon(red);
    DestroyIcon(blue);

    Canvas canvas;
    ASSERT_EQ(1, canvas.CreateBitmap(40, -20, 1, 32, nullptr, 0));
    ASSERT_EQ(1, canvas.FillRectangle(White, 0, 0, 0, 0));
    ASSERT_EQ(1, list.Draw(1, canvas.Dc(), 2, 2, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL));
    EXPECT_EQ(Blue, canvas.PixelAt(2, 2));
    EXPECT_EQ(Blue, canvas.PixelAt(17, 17));
    EXPECT_EQ(White, canvas.PixelAt(18, 18));
    HICON back = list.GetIcon(0);
    ASSERT_NE(nullptr, back);
    ASSERT_TRUE(DrawIconEx(canvas.Dc(), 20, 2, back, 16, 16, 0, nullptr, DI_NORMAL));
    DestroyIcon(back);
    EXPECT_EQ(Red, canvas.PixelAt(35, 17));
    EXPECT_EQ(nullptr, list.GetIcon(5));
}

TEST(ImageList, IconResourceIsLoadedAtTheListsSize) {
    ImageList list;
    ASSERT_EQ(1, list.Create(IMAGELIST_COLOR32, 20, 20, 1, 1));
    // user32 carries the standard application icon as resource 32512.
    HINSTANCE user32 = GetModuleHandleW(L"user32.dll");
    EXPECT_EQ(0, list.AddIconResource(user32, 32512));
    EXPECT_EQ(-1, list.AddIconResource(user32, 0x7FFF));
    EXPECT_EQ(1, ImageList_GetImageCount(list.Handle()));
    HICON icon = list.GetIcon(0);
    ICONINFO info = {};
    BITMAP mask = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    GetObjectW(info.hbmMask, sizeof(mask), &mask);
    EXPECT_EQ(20, mask.bmWidth);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    DestroyIcon(icon);
}

// A menu's list is made only when it must be: until then its images are drawn from the kept bitmaps, with
// their alpha channel or, without one, their mask, as the list would draw them.
TEST(ImageList, ADeferredListDrawsItsImagesBeforeItIsMadeAndKeepsTheirIndices) {
    const int size = 16;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(info.bmiHeader), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits[2] = {};
    HBITMAP masked = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits[0], nullptr, 0);
    HBITMAP blended = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits[1], nullptr, 0);
    ASSERT_TRUE(masked && blended);
    // Red without alpha, its right half masked out; blue at half alpha everywhere.
    std::vector<BYTE> maskRows((size + 15) / 16 * 2 * size, 0);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            static_cast<DWORD*>(bits[0])[y * size + x] = x < size / 2 ? 0x00FF0000 : 0;
            static_cast<DWORD*>(bits[1])[y * size + x] = 0x800000FF;
        }
        maskRows[y * 2 + 1] = 0xFF;
    }
    HBITMAP mask = CreateBitmap(size, size, 1, 1, maskRows.data());
    ImageList list;
    ASSERT_EQ(1, list.Create(IMAGELIST_DEFERRED, size, size, 1, 1));
    EXPECT_EQ(0, list.AddBitmaps(masked, mask));
    EXPECT_EQ(1, list.AddBitmaps(blended, nullptr));
    DeleteObject(masked);
    DeleteObject(blended);
    DeleteObject(mask);

    Canvas before, after;
    for (Canvas* canvas : {&before, &after}) {
        ASSERT_EQ(1, canvas->CreateBitmap(2 * size, size, 1, 32, nullptr, 0));
        canvas->FillRectangle(White, 0, 0, 0, 0);
    }
    EXPECT_EQ(1, list.Draw(0, before.Dc(), 0, 0, 0, 0, CLR_NONE, CLR_DEFAULT, ILD_TRANSPARENT));
    EXPECT_EQ(1, list.Draw(1, before.Dc(), size, 0, 0, 0, CLR_NONE, CLR_DEFAULT, ILD_TRANSPARENT));
    EXPECT_EQ(nullptr, list.Handle()) << "drawing made the list";
    EXPECT_EQ(Red, before.PixelAt(2, 3));
    EXPECT_EQ(White, before.PixelAt(size - 2, 3)) << "the mask was not applied";
    COLORREF half = before.PixelAt(size + 5, 5);
    EXPECT_NEAR(127, GetRValue(half), 2) << "blue at half alpha over white";
    EXPECT_NEAR(255, GetBValue(half), 2);

    // An icon taken out makes the list, with the images at the indices handed out.
    HICON icon = list.GetIcon(1);
    EXPECT_NE(nullptr, icon);
    DestroyIcon(icon);
    ASSERT_NE(nullptr, list.Handle());
    EXPECT_EQ(2, ImageList_GetImageCount(list.Handle()));
    EXPECT_EQ(1, list.Draw(0, after.Dc(), 0, 0, 0, 0, CLR_NONE, CLR_DEFAULT, ILD_TRANSPARENT));
    EXPECT_EQ(Red, after.PixelAt(2, 3));
    EXPECT_EQ(White, after.PixelAt(size - 2, 3));
}
