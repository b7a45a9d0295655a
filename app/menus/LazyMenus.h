#pragma once
// The menus of one tree, built as far as they are seen: the root popup when the tree is taken up, each
// folder's popup when it first opens, the icons the cache lacks from the shell on the fetcher's thread,
// painted into the open popups as they arrive.

#include "app/cache/IconFetcher.h"

#include <windows.h>

class IconCache;
class MenuNode;

class LazyMenus {
public:
    LazyMenus() = default;
    LazyMenus(const LazyMenus&) = delete;
    LazyMenus& operator=(const LazyMenus&) = delete;

    // The owner window receives WM_INITMENUPOPUP of the popups and the fetcher's message.
    void SetOwner(HINSTANCE moduleInstance, HWND window, UINT fetchedMessage);
    // Takes up a new tree (or none): what is still queued for the one before is forgotten. Builds the
    // root's popup, its folders' popups left empty.
    int BuildRoot(MenuNode* tree, IconCache* cache);
    // The dots per inch the popups made from now on are made for (0: the system's).
    void SetDpi(UINT value) { dpi = value; }
    UINT Dpi() const { return dpi; }
    // Fills the popup when it is one of the tree's and still empty; 1 when it was filled now.
    int OnInitMenuPopup(HMENU popup);
    // Paints the fetched names and icons into their items; the number of entries that changed.
    int OnFetched();
    // 1 while names and icons are being fetched or wait to be painted.
    int Busy();
    // Waits up to waitMs for the icons asked for, paints those that came, and ends the thread.
    void Stop(DWORD waitMs);

private:
    // Redraws the popup window showing this menu, if one is open.
    static void Repaint(HMENU popup);

    HINSTANCE instance = nullptr;
    HWND owner = nullptr;
    MenuNode* tree = nullptr;
    IconCache* cache = nullptr;
    unsigned generation = 0;
    UINT dpi = 0;
    IconFetcher fetcher;
};
