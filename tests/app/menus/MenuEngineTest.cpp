// The menu engine where Windows differs from what a quick look shows: foreign item data, the shell's
// extensions in our menu loop, threads that do not come back, and a cache write that fails.
#include "app/cache/CacheWriter.h"
#include "app/cache/IconCache.h"
#include "app/cache/IconFetcher.h"
#include "app/menus/MenuBuilder.h"
#include "app/menus/ShellContextMenu.h"
#include "app/tree/MenuNode.h"
#include "app/tree/MenuOptions.h"
#include "app/tree/TreeScan.h"
#include "app/tree/TreeWatch.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <vector>

namespace {

ULONG_PTR ItemData(HMENU menu, int position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    return GetMenuItemInfoW(menu, position, TRUE, &info) ? info.dwItemData : 0;
}

// A third-party extension in the shell's context menu: one owner-drawn item of its own, and a record of
// what the menu hands it.
class Extension : public IContextMenu3 {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IContextMenu || iid == IID_IContextMenu2 || iid == IID_IContextMenu3
                   ? this
                   : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT, UINT first, UINT, UINT flags) override {
        queryFlags = flags;
        InsertMenuW(menu, 0, MF_BYPOSITION | MF_OWNERDRAW, first, reinterpret_cast<LPCWSTR>(OwnData));
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
    }
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override {
        invokeMasks.push_back(info->fMask);
        return S_OK;
    }
    STDMETHODIMP GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) override { return E_NOTIMPL; }
    STDMETHODIMP HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) override {
        return HandleMenuMsg2(message, wParam, lParam, nullptr);
    }
    STDMETHODIMP HandleMenuMsg2(UINT message, WPARAM, LPARAM lParam, LRESULT*) override {
        if (message == WM_MEASUREITEM)
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemWidth = 40;
        if (message == WM_DRAWITEM)
            drawn.insert(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->itemData);
        return S_OK;
    }

    static const ULONG_PTR OwnData = 0x4321;
    UINT queryFlags = 0;
    std::vector<DWORD> invokeMasks;
    std::set<ULONG_PTR> drawn;
};

ShellContextMenu* openMenu = nullptr;
ULONG_PTR ourItem = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (openMenu && openMenu->HandleMessage(message, wParam, lParam, &result))
        return result;
    return DefWindowProcW(window, message, wParam, lParam);
}

// Once the context menu is up: a repaint of one of our items and one of the extension's, as the menus of
// the same loop send them, then the extension's item chosen with the keyboard.
void CALLBACK WhileOpen(HWND window, UINT, UINT_PTR timer, DWORD) {
    KillTimer(window, timer);
    for (ULONG_PTR data : {ourItem, Extension::OwnData}) {
        DRAWITEMSTRUCT draw = {ODT_MENU, 1, 0, ODA_DRAWENTIRE, 0, nullptr, nullptr, {0, 0, 40, 20}, data};
        SendMessageW(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
    }
    PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
}

std::set<DWORD> ThreadsOfThisProcess() {
    std::set<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            threads.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return threads;
}

} // namespace

// Item data is known as ours only while its record lives, and is never read to find out: a freed page
// passed as item data is no record.
TEST(ShellContextMenu, ExtensionsSeeOnlyTheirItemsAndTheChosenVerbRunsAfterTheMenus) {
    void* freed = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_TRUE(VirtualFree(freed, 0, MEM_RELEASE));
    EXPECT_EQ(nullptr, MenuItemData::FromItemData(reinterpret_cast<ULONG_PTR>(freed)));
    HWND owner = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OwnerProc));
    OwnerDrawMenu startMenu;
    ASSERT_EQ(1, startMenu.Create(GetModuleHandleW(nullptr), owner));
    ASSERT_EQ(1, startMenu.AddItemWithImage(L"Entry", 0, 1, nullptr, -1, nullptr));
    ourItem = ItemData(startMenu.Handle(), 0);

    Extension extension;
    ShellContextMenu context;
    openMenu = &context;
    SetTimer(owner, 1, 200, WhileOpen);
    EXPECT_EQ(1, context.Track(owner, &extension, POINT{100, 100}, ShellContextMenu::NORMAL_VERBS))
        << "the extension's item was not chosen";
    openMenu = nullptr;
    EXPECT_EQ(0u, extension.drawn.count(ourItem)) << "our item's repaint went to the extension";
    EXPECT_EQ(1u, extension.drawn.count(Extension::OwnData));
    EXPECT_TRUE(extension.queryFlags & CMF_CANRENAME);
    EXPECT_TRUE(extension.invokeMasks.empty()) << "the verb ran inside the menu loop";
    EXPECT_EQ(1, context.RunChosen(owner));
    ASSERT_EQ(1u, extension.invokeMasks.size());
    EXPECT_TRUE(extension.invokeMasks[0] & CMIC_MASK_NOASYNC);
    ASSERT_NE(nullptr, MenuItemData::FromItemData(ourItem));
    startMenu.Destroy();
    EXPECT_EQ(nullptr, MenuItemData::FromItemData(ourItem)) << "a freed record is still taken for ours";
    DestroyWindow(owner);
}

// A thread that stays in a call (here: suspended while it waits) does not hold up the end of its owner.
TEST(BackgroundThreads, StopReturnsAtOnceWhenTheThreadDoesNotEnd) {
    TempFolder root{L"engine-stop"};
    MenuOptions::Current().customRoot.Assign(root.Path().c_str());
    IconFetcher fetcher;
    TreeWatch watch;
    MenuNode entry(nullptr);
    struct Case {
        const char* name;
        std::function<void()> start, stop;
    } cases[] = {
        {"icon fetcher",
         [&] {
             std::vector<IconFetcher::Request> requests = {{1, &entry, WString(root.Path().c_str()), 16}};
             ASSERT_EQ(1, fetcher.RequestFirst(requests));
             for (DWORD start = GetTickCount(); fetcher.Busy() && GetTickCount() - start < 10000;)
                 Sleep(20);
         },
         [&] { fetcher.Stop(0); }},
        {"tree watch",
         [&] {
             ASSERT_EQ(1, watch.Start(NODE_CUSTOM_ROOT, nullptr, 0));
             watch.WaitCurrent(10000);
         },
         [&] { watch.Stop(); }},
    };
    for (Case& test : cases) {
        std::set<DWORD> before = ThreadsOfThisProcess();
        test.start();
        Sleep(100);
        std::vector<HANDLE> hung;
        for (DWORD id : ThreadsOfThisProcess()) {
            HANDLE thread = before.count(id) ? nullptr : OpenThread(THREAD_SUSPEND_RESUME, FALSE, id);
            if (thread && SuspendThread(thread) != (DWORD)-1)
                hung.push_back(thread);
        }
        EXPECT_FALSE(hung.empty()) << test.name;
        DWORD start = GetTickCount();
        std::future<void> stopped = std::async(std::launch::async, test.stop);
        EXPECT_EQ(std::future_status::ready, stopped.wait_for(std::chrono::seconds(5))) << test.name;
        EXPECT_LT(GetTickCount() - start, 1000u) << test.name;
        for (HANDLE thread : hung)
            ResumeThread(thread), CloseHandle(thread);
    }
    MenuOptions::Current().customRoot.Assign(L"");
}

TEST(CacheWriter, RowsOfAFailedCommitAreWrittenAgain) {
    CoInitialize(nullptr);
    TempFolder root{L"engine-cache"};
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Editor.lnk", L"C:\\windows\\notepad.exe"));
    MenuOptions::Current().customRoot.Assign(root.Path().c_str());
    MenuNode tree(nullptr);
    tree.flags = NODE_CUSTOM_ROOT;
    TreeScan::Scan(&tree);
    IconCache cache;
    ASSERT_EQ(
        1, cache.Open((root.Path() + L"\\Veltrix.sql").c_str(), IconCache::WRITES_UNSYNCED, IconCache::LOCKING_NORMAL));
    ASSERT_EQ(1, cache.EnsureSchema());
    MenuBuilder(GetModuleHandleW(nullptr), nullptr, &cache).BuildMenu(tree);
    MenuNode* entry = tree.FirstChild();
    ASSERT_NE(nullptr, entry);

    // Every row written breaks a deferred constraint, which SQLite checks at the commit: the rows are
    // written, the commit fails.
    ASSERT_EQ(1, cache.Execute(L"CREATE TABLE parent (id INTEGER PRIMARY KEY);"));
    ASSERT_EQ(1, cache.Execute(L"CREATE TABLE child (p REFERENCES parent (id) DEFERRABLE INITIALLY DEFERRED);"));
    ASSERT_EQ(1,
              cache.Execute(L"CREATE TRIGGER broken AFTER INSERT ON cache BEGIN INSERT INTO child VALUES (1); END;"));
    ASSERT_EQ(1, cache.Execute(L"PRAGMA foreign_keys = ON;"));
    EXPECT_EQ(0, CacheWriter::WriteCache(cache, tree));
    EXPECT_EQ(0, entry->fromCache) << "a row that was never committed counts as stored";
    ASSERT_EQ(1, cache.Execute(L"DROP TRIGGER broken;"));
    EXPECT_EQ(1, CacheWriter::WriteCache(cache, tree));
    EXPECT_EQ(1, entry->fromCache);
    MenuOptions::Current().customRoot.Assign(L"");
    CoUninitialize();
}
