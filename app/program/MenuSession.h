#pragma once
// The life of the one tree behind the menu: read for each menu in once mode, or kept by a resident instance
// and replaced by the watch's newer one when nothing uses it; its root popup built when it is taken up, its
// folders' popups as they open; the names and icons fetched for it painted in and written to the cache at a
// quiet moment, and at the end.

#include "app/cache/IconCache.h"
#include "app/cache/UsageStore.h"
#include "app/menus/LazyMenus.h"
#include "app/search/SearchResults.h"
#include "app/search/TreeSearch.h"
#include "app/shell/AppsFolderChanges.h"
#include "app/shell/PackagedApp.h"
#include "app/tree/AppScan.h"
#include "app/tree/MenuNode.h"
#include "app/tree/TreeScan.h"
#include "app/tree/TreeWatch.h"

#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

class ComApartment;

class MenuSession {
public:
    enum Mode {
        // One menu, then the program ends: the tree is read for it and the cache written at the end.
        ONCE,
        // A resident instance: the watch keeps a tree ready for the next click, and "Exit" ends it.
        RESIDENT,
    };
    // What may be using the tree and its popups; it is never replaced while one of them does.
    enum Use : unsigned {
        USE_MENU = 0x1,   // TrackPopupMenu runs on the root popup
        USE_ACTION = 0x2, // a chosen item's action or a context menu runs (the About box's loop among them)
    };
    // Marks a use of the tree for the life of this object.
    class UseScope {
    public:
        UseScope(MenuSession& session, Use use) : session(session), use(use) { session.uses |= use; }
        ~UseScope() { session.uses &= ~use; }
        UseScope(const UseScope&) = delete;
        UseScope& operator=(const UseScope&) = delete;

    private:
        MenuSession& session;
        Use use;
    };

    // Resident mode: the rows fetched since the last write are written when this timer of the owner window
    // fires and no menu is open.
    static const UINT_PTR WriteTimer = 2;
    // Writes the starts counted, a moment after the last one: never while the entry starts.
    static const UINT_PTR UsageTimer = 4;
    static const UINT UsageWriteDelayMs = 3000;
    static const UINT WriteDelayMs = 1500;
    // How long the end waits for icons asked for and not fetched yet: with the fetcher's and the watch's own
    // bounded waits and the cache write, the program ends within 2 s.
    static const DWORD ExitFetchWaitMs = 1200;
    // How long a click right after a change waits for the watch's scan.
    static const DWORD ChangeWaitMs = 5000;
    // How long the end of once mode waits for the apps' read, to keep what it found for the next start.
    static const DWORD ExitAppsWaitMs = 500;

    MenuSession() = default;
    MenuSession(const MenuSession&) = delete;
    MenuSession& operator=(const MenuSession&) = delete;

    // The owner window gets the popups' notifications, the fetcher's and the watch's messages and the write
    // timer; com is started before the cache is written (the picture object some icons are written with).
    void SetOwner(HINSTANCE instance, HWND window, Mode mode, ComApartment* com, UINT fetchedMessage,
                  UINT treeReadyMessage);
    // The icon cache of this installation; a cache that cannot be opened is no error (the menus then come
    // from the shell alone).
    void OpenCache(int portable);
    // Where the memory of what the user starts lies; it is read at the first start counted.
    void OpenUsage(int portable) { usagePortable = portable; }
    // One more start of the node, written a moment later (resident) or at the end (once mode).
    void CountStart(const MenuNode& node);
    void OnUsageTimer();
    // Builds the popup of a search of the whole tree for the text (see SearchResults), the matches that
    // were started more and more lately first; the number of matches, -1 when the popup could not be made.
    // The popup lives until the next search or until the tree changes, so that a choice made in it is
    // still found when it is handled after the menu has closed.
    int Search(const wchar_t* text);
    SearchResults& Results() { return results; }
    // The setting "Frequent": that many of the entries the user starts most and most lately head the root,
    // above a line, from the next menu on (0: none; at most MaxFrequent).
    static const int MaxFrequent = 20;
    void SetFrequent(int count) { frequentWanted = count < 0 ? 0 : count > MaxFrequent ? MaxFrequent : count; }
    // Reads the names to search while the menu waits for the user, so that the first letters find them
    // ready.
    void PrepareSearch();
    // Replaces the tree by a new one whose scan runs until the menu needs it; 0 while the tree is in use.
    int StartScan();
    // Resident mode: the tree is read now and again after each change, so that a click finds it ready.
    void StartWatch();
    // Whether the menu lists the packaged apps (the setting "Apps"), after OpenCache: their read starts, and
    // until it ends the menu lists those the last start found. A resident instance's owner window gets
    // changedMessage when the shell reports a change among them.
    void SetApps(int wanted, UINT changedMessage);
    // The apps are read again, for the next menu.
    void OnAppsChanged();

    // The tree with its root popup built for a monitor of those dots per inch, ready to be shown, or null.
    MenuNode* PrepareMenu(UINT dpi);
    // The menu was shown and has closed.
    void MenuClosed() { ScheduleWrite(); }
    // Resident mode: takes up the watch's newer tree, unless the tree is in use.
    void TakeUpReadyTree();
    // The owner window's messages for the session.
    void OnFetched();
    void OnWriteTimer() { WriteFetchedRows(WRITE_WHEN_QUIET); }
    void OnInitMenuPopup(HMENU popup) { menus.OnInitMenuPopup(popup); }
    // Stops the scan and the watch, writes what was fetched and frees the tree.
    void End();

    int InUse(unsigned what = USE_MENU | USE_ACTION) const { return (uses & what) != 0; }
    int MenuShown() const { return menuShown; }
    // ONCE until SetOwner names the mode.
    Mode RunMode() const { return mode; }
    const MenuNode* Tree() const { return tree.get(); }

private:
    enum WriteTime { WRITE_NOW, WRITE_WHEN_QUIET };

    static unsigned RootFlags();
    // The memory of use, read at its first need.
    void ReadUsage();
    // The search's names and popup go before the nodes they point to.
    void ForgetSearch();
    // The popups of the folders down to the node filled, outermost first, as opening them would.
    void FillFoldersTo(MenuNode& node);
    // Puts the entries started most at the head of the root popup, in place of those put there before.
    void ShowFrequent();
    // The root's own entries moved by that many positions in its popup.
    void ShiftRootPositions(int by);
    // The fixed entries below the folder contents.
    void AddFixedEntries();
    // Lets go of the tree's popups before the tree is replaced, its fetched rows written first.
    void LetGo();
    // The fixed entries added and the root popup built, for a tree just read.
    void BuildRootMenu();
    // The popups of the folder and those under it destroyed, to be made again as they open.
    static void ForgetPopups(MenuNode& folder);
    // Paints the names and icons fetched; notes that they are to be written.
    void TakeFetched();
    // Resident mode: the rows fetched are written when the write timer fires.
    void ScheduleWrite();
    // Writes the rows fetched since the last write, now or at the next quiet moment.
    void WriteFetchedRows(WriteTime when);
    void WriteCache();
    // The apps the last read found merged into the root of a tree just read; resident mode, before a menu:
    // those found since, in place of the tree's own (its root popup let go first, to be built again). 1
    // when the root changed.
    int MergeApps(int replace);

    HWND owner = nullptr;
    UINT readyMessage = 0;
    Mode mode = ONCE;
    ComApartment* com = nullptr;
    unsigned uses = 0;
    std::unique_ptr<MenuNode> tree;
    // After the tree: it is finished before the tree it reads goes away.
    TreeScan scan;
    // From StartScan until the menu has the scanned tree.
    int scanStarted = 0;
    // After the tree: its fetcher thread ends before the tree goes.
    LazyMenus menus;
    UsageStore usage;
    // After the tree: both point into it, and go first.
    SearchResults results;
    TreeSearch search;
    int searchIndexed = 0;
    HINSTANCE instance = nullptr;
    int frequentWanted = 0;
    // The items at the head of the root popup, its line among them; 0 once the popup is built anew.
    int frequentShown = 0;
    int usagePortable = 0;
    int usageRead = 0;
    TreeWatch watch;
    // Names or icons were fetched since the cache was last written.
    int rowsDirty = 0;
    // A menu has been shown: until then the cache is left alone, as by an instance whose menu never opened.
    int menuShown = 0;
    IconCache iconCache;
    // The packaged apps: wanted at all, their read, and what the last one (or the cache) had.
    int appsWanted = 0;
    AppScan appScan;
    std::vector<PackagedApp> apps;
    std::set<std::wstring> appShortcutIds;
    // The apps came from the cache, which is written again when a read finds others.
    std::vector<PackagedApp> cachedApps;
    // A read has ended since the start.
    int appsRead = 0;
    AppsFolderChanges appChanges;
};
