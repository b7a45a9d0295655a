#include "app/menus/LazyMenus.h"

#include "app/cache/IconCache.h"
#include "app/menus/MenuBuilder.h"
#include "app/tree/MenuNode.h"

#include <set>
#include <vector>

#ifndef MN_GETHMENU
#define MN_GETHMENU 0x01E1
#endif

void LazyMenus::SetOwner(HINSTANCE moduleInstance, HWND window, UINT fetchedMessage) {
    instance = moduleInstance;
    owner = window;
    fetcher.SetOwner(window, fetchedMessage);
}

int LazyMenus::BuildRoot(MenuNode* root, IconCache* iconCache) {
    tree = root;
    cache = iconCache;
    generation++;
    fetcher.KeepOnly(generation);
    if (!tree)
        return 0;
    MenuBuilder builder(instance, owner, cache, &fetcher, generation);
    builder.SetDpi(dpi);
    return builder.FillPopup(*tree) || tree->filled;
}

int LazyMenus::OnInitMenuPopup(HMENU popup) {
    MenuNode* folder = MenuBuilder::FolderOfPopup(popup);
    if (!tree || !folder || folder->filled)
        return 0;
    // Only a popup of the current tree: the nodes of a replaced one are gone.
    MenuNode* top = folder;
    while (top->parent)
        top = top->parent;
    if (top != tree)
        return 0;
    MenuBuilder builder(instance, owner, cache, &fetcher, generation);
    builder.SetDpi(dpi);
    return builder.FillPopup(*folder);
}

int LazyMenus::OnFetched() {
    std::vector<IconFetcher::Result> results;
    fetcher.Take(results);
    std::set<HMENU> touched;
    MenuBuilder builder(instance, owner, nullptr);
    int changed = 0;
    for (IconFetcher::Result& result : results) {
        if (result.generation == generation && tree && builder.PaintFetched(*result.node, result)) {
            changed++;
            touched.insert(result.node->parent->menu.Handle());
        }
        if (result.icon)
            DestroyIcon(result.icon);
    }
    for (HMENU popup : touched)
        Repaint(popup);
    return changed;
}

int LazyMenus::Busy() {
    return fetcher.Busy();
}

void LazyMenus::Stop(DWORD waitMs) {
    fetcher.Stop(waitMs);
    OnFetched();
}

void LazyMenus::Repaint(HMENU popup) {
    // The popup windows of the menus tracked on this thread; each says which menu it shows.
    struct Search {
        HMENU menu;
        static BOOL CALLBACK Each(HWND window, LPARAM parameter) {
            wchar_t name[16] = L"";
            GetClassNameW(window, name, 16);
            if (wcscmp(name, L"#32768") == 0 && IsWindowVisible(window) &&
                (HMENU)SendMessageW(window, MN_GETHMENU, 0, 0) == reinterpret_cast<Search*>(parameter)->menu)
                InvalidateRect(window, nullptr, FALSE);
            return TRUE;
        }
    } search = {popup};
    EnumThreadWindows(GetCurrentThreadId(), Search::Each, reinterpret_cast<LPARAM>(&search));
}
