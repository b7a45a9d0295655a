#include "app/IconBlob.h"
#include "app/IconCache.h"
#include "app/LazyMenus.h"
#include "app/MenuNode.h"
#include "app/MenuOptions.h"
#include "app/TreeScan.h"
#include "base/Canvas.h"
#include "resources/resource.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The process's GDI or USER objects. Wine (8.0 at least) answers GetGuiResources with 0; there every handle
// is tried by its low word, which GDI and USER take as the 16-bit form of a handle of any generation.
DWORD GuiObjects(DWORD kind, HDC scratch) {
    DWORD count = GetGuiResources(GetCurrentProcess(), kind);
    for (ULONG_PTR low = count ? 0x10000 : 0x20; low < 0x10000; low++) {
        if (kind == GR_GDIOBJECTS && GetObjectType((HGDIOBJ)low))
            count++;
        // Both words of a pair name the same USER object. Menus and icons are the USER objects menus make.
        if (kind == GR_USEROBJECTS && !(low & 1) &&
            (IsMenu((HMENU)low) || DrawIconEx(scratch, 0, 0, (HICON)low, 1, 1, 0, nullptr, DI_NORMAL)))
            count++;
    }
    return count;
}

} // namespace

// A resident instance keeps its tree and popups between clicks: opening folder after folder must not cost
// GDI or USER objects per entry shown, or a large Start Menu runs the process out of them (10,000 each by
// default), after which icons and gradients stop drawing.
TEST(LazyMenus, AResidentTreeOpenedAThousandTimesKeepsItsGdiAndUserObjectsFlat) {
    const int folders = 50, entries = 100, size = GetSystemMetrics(SM_CXSMICON);
    TempFolder root{L"resident"}, cacheFolder{L"resident-cache"};
    for (int f = 0; f < folders; f++) {
        root.Folder(L"Folder " + std::to_wstring(100 + f));
        for (int e = 0; e < entries; e++)
            root.Write(L"Folder " + std::to_wstring(100 + f) + L"\\Entry " + std::to_wstring(1000 + e) + L".lnk", "");
    }
    MenuOptions::Current().customRoot.Assign(root.Path().c_str());
    std::unique_ptr<MenuNode> tree(new MenuNode(nullptr));
    tree->flags = NODE_CUSTOM_ROOT;
    TreeScan::Scan(tree.get());
    MenuOptions::Current().customRoot.Assign(L"");
    // Every entry with an icon of its own in the cache: the program's folder icon painted over in the colour
    // RGB(n % 256, n / 256, 128) for entry n.
    std::vector<unsigned char> folderIcon;
    ASSERT_EQ(1, ResourceIconBlob(GetModuleHandleW(nullptr), IDI_FOLDER, size, folderIcon));
    ASSERT_EQ(32, folderIcon[36]) << "32 bits per pixel, from byte 62 on";
    IconCache cache;
    ASSERT_EQ(1, cache.Open((cacheFolder.Path() + L"\\Veltrix.sql").c_str(), 0, 1));
    ASSERT_EQ(1, cache.EnsureSchema());
    ASSERT_EQ(1, cache.BeginWrite());
    std::vector<MenuNode*> shown;
    DWORD n = 0;
    for (MenuNode* folder = tree->FirstChild(); folder; folder = tree->NextChild(folder)) {
        shown.push_back(folder);
        for (MenuNode* entry = folder->FirstChild(); entry; entry = folder->NextChild(entry), n++) {
            std::vector<unsigned char> icon = folderIcon;
            DWORD color = 0xFF000080 | (n % 256) << 16 | (n / 256) << 8;
            for (int i = 0; i < size * size; i++)
                memcpy(&icon[62 + 4 * i], &color, 4);
            cache.WriteEntry(entry->relativePath, entry->flags, entry->hash, L"Entry", icon);
        }
    }
    ASSERT_EQ(1, cache.EndWrite());
    ASSERT_EQ((DWORD)(folders * entries), n);
    HWND owner = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    LazyMenus menus;
    menus.SetOwner(GetModuleHandleW(nullptr), owner, WM_APP);
    Canvas canvas;
    ASSERT_EQ(1, canvas.CreateBitmap(300, 100, 1, 32, nullptr, 0));
    // As on WM_INITMENUPOPUP, then WM_MEASUREITEM and WM_DRAWITEM for every item, the first one selected.
    auto open = [&](MenuNode& folder) {
        menus.OnInitMenuPopup(folder.menu.Handle());
        HMENU popup = folder.menu.Handle();
        for (int position = 0; position < GetMenuItemCount(popup); position++) {
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_DATA;
            GetMenuItemInfoW(popup, (UINT)position, TRUE, &info);
            MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 0, 0, 0, info.dwItemData};
            folder.menu.Measure(&measure);
            UINT state = position ? 0 : ODS_SELECTED;
            RECT item = {0, 0, 300, 40};
            DRAWITEMSTRUCT draw = {ODT_MENU,    0,           0,    ODA_DRAWENTIRE, state,
                                   (HWND)popup, canvas.Dc(), item, info.dwItemData};
            folder.menu.Draw(&draw);
        }
    };
    ASSERT_EQ(1, menus.BuildRoot(tree.get(), &cache));
    open(*tree);
    DWORD gdi = GuiObjects(GR_GDIOBJECTS, canvas.Dc()), user = GuiObjects(GR_USEROBJECTS, canvas.Dc());
    ASSERT_TRUE(gdi && user);
    for (int opening = 1; opening < 1000; opening++)
        open(*shown[opening % folders]);
    EXPECT_LE(GuiObjects(GR_GDIOBJECTS, canvas.Dc()), gdi + 8) << "from " << gdi;
    EXPECT_LE(GuiObjects(GR_USEROBJECTS, canvas.Dc()), user + 8) << "from " << user;
    // The last item drawn is entry 4999's, with its own icon.
    EXPECT_EQ(RGB(4999 % 256, 4999 / 256, 128), canvas.PixelAt(2 + size / 2, 20));
    tree.reset();
    DestroyWindow(owner);
}
