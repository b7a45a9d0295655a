// A resident instance keeps its tree and popups between clicks: opening folder after folder must not cost GDI
// or USER objects per entry shown, or a large Start Menu runs out of them (10,000 each) and icons stop drawing.
#include "app/cache/IconBlob.h"
#include "app/cache/IconCache.h"
#include "app/menus/LazyMenus.h"
#include "app/tree/MenuNode.h"
#include "app/tree/MenuOptions.h"
#include "app/tree/TreeScan.h"
#include "base/Canvas.h"
#include "resources/resource.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

// The process's GDI or USER objects. Wine (8.0 at least) answers GetGuiResources with 0; there every handle is
// tried by its low word, which GDI and USER take as the 16-bit form of a handle of any generation. Both words of
// a pair name the same USER object; menus and icons are the USER objects menus make.
static DWORD GuiObjects(DWORD kind, HDC dc) {
    DWORD count = GetGuiResources(GetCurrentProcess(), kind);
    for (ULONG_PTR h = count ? 0x10000 : 0x20; h < 0x10000; h++)
        count += kind ? !(h & 1) && (IsMenu((HMENU)h) || DrawIconEx(dc, 0, 0, (HICON)h, 1, 1, 0, nullptr, DI_NORMAL))
                      : GetObjectType((HGDIOBJ)h) != 0;
    return count;
}

TEST(LazyMenus, AResidentTreeOpenedAThousandTimesKeepsItsGdiAndUserObjectsFlat) {
    const int folders = 50, entries = 100, size = GetSystemMetrics(SM_CXSMICON);
    TempFolder root{L"resident"};
    for (int n = 0; n < folders * entries; n++) {
        std::wstring folder = L"Folder " + std::to_wstring(100 + n / entries);
        root.Folder(folder);
        root.Write(folder + L"\\Entry " + std::to_wstring(1000 + n % entries) + L".lnk", "");
    }
    MenuOptions::Current().customRoot.Assign(root.Path().c_str());
    MenuNode tree(nullptr);
    tree.flags = NODE_CUSTOM_ROOT;
    TreeScan::Scan(&tree);
    MenuOptions::Current().customRoot.Assign(L"");
    // Every entry n with an icon of its own in the cache: the folder icon (32 bits per pixel from byte 62 on)
    // painted RGB(n / 256, n % 256, 128).
    IconCache cache;
    std::vector<unsigned char> icon;
    ASSERT_TRUE(cache.Open((root.Path() + L"\\Veltrix.sql").c_str(), IconCache::WRITES_UNSYNCED,
                           IconCache::LOCKING_EXCLUSIVE) &&
                cache.EnsureSchema() && cache.BeginWrite() &&
                ResourceIconBlob(GetModuleHandleW(nullptr), IDI_FOLDER, size, icon) && icon[36] == 32);
    DWORD n = 0;
    for (MenuNode* folder = tree.FirstChild(); folder; folder = tree.NextChild(folder))
        for (MenuNode* entry = folder->FirstChild(); entry; entry = folder->NextChild(entry), n++) {
            for (int i = 0; i < 4 * size * size; i++)
                icon[62 + i] = (unsigned char)((0xFF000080 | n << 8) >> i % 4 * 8);
            cache.WriteEntry(entry->relativePath, entry->flags, entry->hash, L"Entry", icon);
        }
    ASSERT_TRUE(cache.EndWrite() && n == (DWORD)(folders * entries));
    HWND owner = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    LazyMenus menus;
    menus.SetOwner(GetModuleHandleW(nullptr), owner, WM_APP);
    Canvas canvas;
    // As on WM_INITMENUPOPUP, then WM_MEASUREITEM and WM_DRAWITEM for every item, the first one selected.
    auto open = [&](MenuNode& folder) {
        HMENU popup = folder.menu.Handle();
        menus.OnInitMenuPopup(popup);
        for (int position = 0; position < GetMenuItemCount(popup); position++) {
            MENUITEMINFOW info = {sizeof(info), MIIM_DATA, 0, 0, 0, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr};
            GetMenuItemInfoW(popup, (UINT)position, TRUE, &info);
            MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 0, 0, 0, info.dwItemData};
            RECT item = {0, 0, 300, 40};
            DRAWITEMSTRUCT draw = {ODT_MENU,    0,           0,    ODA_DRAWENTIRE, position ? 0u : ODS_SELECTED,
                                   (HWND)popup, canvas.Dc(), item, info.dwItemData};
            // Each paint of a menu gets a device context without the clipping an earlier item left.
            SelectClipRgn(canvas.Dc(), nullptr);
            ASSERT_TRUE(folder.menu.Measure(&measure) && folder.menu.Draw(&draw)) << position;
        }
    };
    ASSERT_TRUE(canvas.CreateBitmap(300, 100, 1, 32, nullptr, 0) && menus.BuildRoot(&tree, &cache));
    open(tree);
    DWORD before[] = {GuiObjects(GR_GDIOBJECTS, canvas.Dc()), GuiObjects(GR_USEROBJECTS, canvas.Dc())};
    for (int round = 0; round < 1000 / folders; round++)
        for (MenuNode* folder = tree.FirstChild(); folder; folder = tree.NextChild(folder))
            open(*folder);
    for (DWORD kind : {GR_GDIOBJECTS, GR_USEROBJECTS})
        EXPECT_TRUE(before[kind] && GuiObjects(kind, canvas.Dc()) <= before[kind] + 8) << "from " << before[kind];
    EXPECT_EQ(RGB(4999 / 256, 4999 % 256, 128), canvas.PixelAt(2 + size / 2, 20)) << "entry 4999's own icon, last";
    DestroyWindow(owner);
}
