#include "app/program/MenuSession.h"

#include "app/cache/AppCatalogue.h"
#include "app/cache/CacheWriter.h"
#include "app/program/ProgramEnvironment.h"
#include "app/tree/AppEntries.h"
#include "app/tree/FixedCommands.h"
#include "app/tree/MenuOptions.h"
#include "base/ComApartment.h"
#include "framework/MonitorDpi.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <map>
#include <new>

void MenuSession::SetOwner(HINSTANCE instance, HWND window, Mode mode, ComApartment* com, UINT fetchedMessage,
                           UINT treeReadyMessage) {
    this->instance = instance;
    owner = window;
    this->mode = mode;
    this->com = com;
    readyMessage = treeReadyMessage;
    menus.SetOwner(instance, window, fetchedMessage);
}

void MenuSession::OpenCache(int portable) {
    // Normal locking: each menu build and the write at the end take the file's lock and give it back, so a
    // resident instance and a once-mode one both read and both write their rows.
    WString cachePath;
    if (CacheFilePath(portable, cachePath) &&
        iconCache.Open(cachePath, IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL))
        iconCache.EnsureSchema();
}

void MenuSession::ReadUsage() {
    // Read now, not as the program starts: a run that neither starts nor searches never touches the file,
    // and the first menu waits for no database.
    if (usageRead)
        return;
    usageRead = 1;
    WString usagePath;
    if (UsageFilePath(usagePortable, usagePath))
        usage.Open(usagePath);
}

void MenuSession::CountStart(const MenuNode& node) {
    ReadUsage();
    usage.Count(UsageStore::KeyOf(node), UsageStore::Now());
    if (mode == RESIDENT)
        SetTimer(owner, UsageTimer, UsageWriteDelayMs, nullptr);
}

void MenuSession::OnUsageTimer() {
    KillTimer(owner, UsageTimer);
    // A file held by another instance's write is tried again at the next start, or at the end.
    usage.Write(UsageStore::Now());
}

namespace {

struct UseContext {
    const UsageStore* usage;
    long long now;
};

double UseOf(const MenuNode& node, void* context) {
    const UseContext* use = static_cast<const UseContext*>(context);
    return use->usage->Score(UsageStore::KeyOf(node), use->now);
}

} // namespace

void MenuSession::PrepareSearch() {
    if (searchIndexed || !tree || !tree->menu.Handle())
        return;
    search.Index(*tree);
    searchIndexed = 1;
}

void MenuSession::ForgetSearch() {
    results.Destroy();
    searchIndexed = 0;
}

void MenuSession::FillFoldersTo(MenuNode& node) {
    MenuNode* chain[64];
    int depth = 0;
    for (MenuNode* folder = node.parent; folder && depth < 64; folder = folder->parent)
        chain[depth++] = folder;
    // A folder left out of its parent's popup (nothing in it to start) has no popup to fill.
    while (depth-- > 0 && chain[depth]->menu.Handle())
        menus.OnInitMenuPopup(chain[depth]->menu.Handle());
}

int MenuSession::Search(const wchar_t* text) {
    PrepareSearch();
    if (!searchIndexed)
        return -1;
    ReadUsage();
    std::vector<TreeSearch::Match> matches;
    // Only a memory with something in it is asked: a score is a key made and looked up per match.
    UseContext context = {&usage, UsageStore::Now()};
    search.Find(text, matches, TreeSearch::MaxMatches, usage.Size() ? UseOf : nullptr, &context);
    for (const TreeSearch::Match& match : matches)
        FillFoldersTo(*match.node);
    StringTable strings;
    WString heading(strings.Load(IDS_SEARCH));
    heading.Append(text);
    return results.Build(instance, owner, menus.Dpi(), heading, matches, strings.Load(IDS_NO_MATCH));
}

namespace {

// The entries and apps under folder whose keys are among keys; not the fixed commands, which the root
// always shows.
void NodesOfKeys(MenuNode& folder, const std::set<std::wstring>& keys, std::map<std::wstring, MenuNode*>& nodes) {
    for (MenuNode* child = folder.FirstChild(); child; child = folder.NextChild(child)) {
        if (child->flags & NODE_FOLDER) {
            NodesOfKeys(*child, keys, nodes);
        } else if (child->flags & NODE_ITEM) {
            std::wstring key = UsageStore::KeyOf(*child);
            if (keys.count(key))
                nodes.emplace(key, child);
        }
    }
}

} // namespace

void MenuSession::ShiftRootPositions(int by) {
    for (MenuNode* child = tree->FirstChild(); child; child = tree->NextChild(child)) {
        if (child->menuPosition >= 0)
            child->menuPosition += by;
    }
}

void MenuSession::ShowFrequent() {
    if (!tree || !tree->menu.Handle())
        return;
    OwnerDrawMenu& root = tree->menu;
    if (frequentShown > 0) {
        for (int i = 0; i < frequentShown; i++)
            root.RemoveItem(0);
        ShiftRootPositions(-frequentShown);
        frequentShown = 0;
    }
    if (frequentWanted <= 0)
        return;
    ReadUsage();
    // More keys than wanted: some may name entries that have gone since, or fixed commands.
    std::vector<std::wstring> top = usage.Top((size_t)frequentWanted * 2 + 8, UsageStore::Now());
    if (top.empty())
        return;
    std::map<std::wstring, MenuNode*> nodes;
    NodesOfKeys(*tree, std::set<std::wstring>(top.begin(), top.end()), nodes);
    int position = 0;
    for (const std::wstring& key : top) {
        std::map<std::wstring, MenuNode*>::iterator found = nodes.find(key);
        if (found == nodes.end())
            continue;
        FillFoldersTo(*found->second);
        if (SearchResults::AddNode(root, *found->second, position))
            position++;
        if (position == frequentWanted)
            break;
    }
    if (position > 0 && root.AddSeparator(nullptr, position))
        position++;
    frequentShown = position;
    ShiftRootPositions(frequentShown);
}

namespace {

int SameApps(const std::vector<PackagedApp>& a, const std::vector<PackagedApp>& b) {
    if (a.size() != b.size())
        return 0;
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i].id.Compare(b[i].id) != 0 || a[i].name.Compare(b[i].name) != 0 || a[i].stamp != b[i].stamp)
            return 0;
    }
    return 1;
}

} // namespace

int MenuSession::StartScan() {
    // The tree owns the menus being tracked: replacing it now would free them under the menu loop.
    if (InUse())
        return 0;
    scan.Finish();
    scanStarted = 0;
    ForgetSearch();
    tree.reset();
    tree.reset(new (std::nothrow) MenuNode(nullptr));
    if (!tree)
        return 0;
    tree->flags = RootFlags();
    scanStarted = scan.Start(tree.get());
    return scanStarted;
}

void MenuSession::StartWatch() {
    watch.Start(RootFlags(), owner, readyMessage);
}

void MenuSession::SetApps(int wanted, UINT changedMessage) {
    appsWanted = wanted && RootFlags() != NODE_CUSTOM_ROOT;
    if (!appsWanted)
        return;
    if (iconCache.IsOpen() && AppCatalogue::Read(iconCache, cachedApps))
        apps = cachedApps;
    appScan.Start(RootFlags());
    if (mode == RESIDENT)
        appChanges.Start(owner, changedMessage);
}

void MenuSession::OnAppsChanged() {
    if (appsWanted)
        appScan.Start(RootFlags());
}

int MenuSession::MergeApps(int replace) {
    if (!appsWanted || !tree)
        return 0;
    int found = appScan.Take(0, apps, appShortcutIds);
    appsRead |= found;
    if (replace) {
        if (!found)
            return 0;
        // The root popup and the fetched names and icons let go of the old apps' nodes before they go.
        LetGo();
        AppEntries::Remove(*tree);
    }
    AppEntries::Merge(*tree, apps, appShortcutIds);
    return 1;
}

unsigned MenuSession::RootFlags() {
    return MenuOptions::Current().customRoot.IsEmpty() ? (NODE_COMMON | NODE_USER) : NODE_CUSTOM_ROOT;
}

void MenuSession::AddFixedEntries() {
    tree->AddSeparator();
    tree->AddCommand(CMD_ORGANIZE);
    tree->AddCommand(CMD_ABOUT);
    tree->AddCommand(CMD_CONTROL_PANEL);
    tree->AddCommand(CMD_ADMIN_CONSOLE);
    tree->AddCommand(CMD_RUN);
    if (mode == RESIDENT) {
        tree->AddSeparator();
        tree->AddCommand(CMD_EXIT);
    }
    tree->AddSeparator();
    tree->AddCommand(CMD_SHUTDOWN);
}

void MenuSession::LetGo() {
    ForgetSearch();
    frequentShown = 0;
    if (!tree)
        return;
    // What the old tree fetched is kept first: the new one then finds it in the cache.
    TakeFetched();
    WriteFetchedRows(WRITE_NOW);
    menus.BuildRoot(nullptr, nullptr);
}

void MenuSession::BuildRootMenu() {
    ForgetSearch();
    frequentShown = 0;
    MergeApps(0);
    AddFixedEntries();
    // Only the root's popup now; each folder's is filled when it opens.
    menus.BuildRoot(tree.get(), &iconCache);
    tree->menu.NotifyByPosition();
}

void MenuSession::TakeUpReadyTree() {
    // The tree owns the menus being tracked and the node of a running action: it stays until they end.
    if (InUse())
        return;
    std::unique_ptr<MenuNode> fresh = watch.TakeReady();
    if (!fresh)
        return;
    LetGo();
    tree = std::move(fresh);
    BuildRootMenu();
}

void MenuSession::ForgetPopups(MenuNode& folder) {
    // The parent first, as a tree going away does: its records and submenus go with it, and each
    // folder's own object then only forgets its handle.
    folder.menu.Destroy();
    folder.filled = 0;
    for (MenuNode* child = folder.FirstChild(); child; child = folder.NextChild(child)) {
        if (child->flags & NODE_FOLDER)
            ForgetPopups(*child);
    }
}

MenuNode* MenuSession::PrepareMenu(UINT dpi) {
    if (InUse())
        return nullptr;
    // Popups made from now on are made for the monitor the menu opens on.
    menus.SetDpi(dpi ? dpi : MonitorDpi::System());
    if (mode == RESIDENT && watch.Running()) {
        // A click right after a change waits for its scan; otherwise the tree and menu are ready.
        watch.WaitCurrent(ChangeWaitMs);
        TakeUpReadyTree();
    }
    if (!tree || !tree->menu.Handle() || (mode == RESIDENT && !watch.Running())) {
        // Once mode, or a resident instance without its watch: the tree is read for this menu.
        if (!scanStarted) {
            LetGo();
            if (!StartScan())
                return nullptr;
        }
        scan.Finish();
        scanStarted = 0;
        BuildRootMenu();
    }
    // Resident mode: the apps found since the tree was read replace its own, and the next read starts, for
    // the next menu.
    if (mode == RESIDENT && MergeApps(1)) {
        menus.BuildRoot(tree.get(), &iconCache);
        tree->menu.NotifyByPosition();
    }
    // A menu opening on a monitor of another scale than the last one's: sizes, fonts and icons measured
    // for the other would be too small or too large there (Windows scales no owner-drawn menu).
    if (tree->menu.Handle() && tree->menu.Dpi() != menus.Dpi()) {
        LetGo();
        ForgetPopups(*tree);
        menus.BuildRoot(tree.get(), &iconCache);
        tree->menu.NotifyByPosition();
    }
    if (mode == RESIDENT && appsWanted)
        appScan.Start(RootFlags());
    ShowFrequent();
    // A right click shows an item's context menu instead of choosing it.
    tree->menu.SetRightButton(PopupMenu::RIGHT_BUTTON_FOR_CONTEXT_MENU);
    menuShown = 1;
    return tree.get();
}

void MenuSession::ScheduleWrite() {
    // Once mode writes at the end only.
    if (mode == RESIDENT && rowsDirty)
        SetTimer(owner, WriteTimer, WriteDelayMs, nullptr);
}

void MenuSession::TakeFetched() {
    if (menus.OnFetched() > 0)
        rowsDirty = 1;
}

void MenuSession::OnFetched() {
    TakeFetched();
    ScheduleWrite();
}

void MenuSession::WriteFetchedRows(WriteTime when) {
    KillTimer(owner, WriteTimer);
    // A resident instance fetches the icons of its root menu before the first click; until a menu has
    // been shown it leaves the cache alone, as one whose menu was never opened always did.
    if (!rowsDirty || !menuShown || !tree || !iconCache.IsOpen())
        return;
    // Never while a menu is open (the write holds the file for a moment), nor while more names and icons
    // are on their way: one write for a run of them.
    if (when == WRITE_WHEN_QUIET && (InUse() || menus.Busy())) {
        SetTimer(owner, WriteTimer, WriteDelayMs, nullptr);
        return;
    }
    rowsDirty = 0;
    WriteCache();
}

void MenuSession::WriteCache() {
    // The picture object the cache writes some icons with needs COM on this thread.
    if (com && !com->IsInitialised())
        com->Init(ComApartment::SINGLE_THREADED);
    CacheWriter::WriteCache(iconCache, *tree);
}

void MenuSession::End() {
    KillTimer(owner, UsageTimer);
    usage.Write(UsageStore::Now());
    watch.Stop();
    appChanges.Stop();
    // A tree still being read was never shown: it has nothing to write.
    scan.Finish();
    if (scanStarted)
        tree.reset();
    scanStarted = 0;
    // The icons of the menus shown are given a moment to arrive (the menu is gone, nobody waits for
    // the window), so that the next start finds them in the cache.
    menus.Stop(tree ? ExitFetchWaitMs : 0);
    // The rows fetched and not written yet; an instance whose menu never opened writes nothing.
    if (tree && menuShown && iconCache.IsOpen())
        WriteCache();
    // The apps a read found, for the next start's menu, when they differ from those it had; like the rows,
    // only by an instance whose menu opened.
    if (appsWanted && menuShown && appScan.Take(mode == ONCE ? ExitAppsWaitMs : 0, apps, appShortcutIds))
        appsRead = 1;
    if (appsRead && menuShown && !SameApps(apps, cachedApps))
        AppCatalogue::Write(iconCache, apps);
    ForgetSearch();
    menus.BuildRoot(nullptr, nullptr);
    tree.reset();
}
