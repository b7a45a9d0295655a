#include "app/cache/IconCache.h"
#include "app/menus/MenuBuilder.h"
#include "app/tree/MenuNode.h"
#include "app/tree/MenuOptions.h"
#include "app/tree/TreeScan.h"
#include "base/FileSystem.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring ProgramsFolder(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    GetFolderPath(csidl, path);
    SHCreateDirectoryExW(nullptr, path, nullptr);
    return path;
}

std::vector<std::wstring> ChildNames(const MenuNode* node) {
    std::vector<std::wstring> names;
    for (MenuNode* child = node->FirstChild(); child; child = node->NextChild(child))
        names.push_back(child->name.Buffer());
    return names;
}

MenuNode* ChildNamed(const MenuNode* node, const std::wstring& name) {
    for (MenuNode* child = node->FirstChild(); child; child = node->NextChild(child)) {
        if (name == child->name.Buffer())
            return child;
    }
    return nullptr;
}

void SetWriteTime(const std::wstring& path, DWORD low, DWORD high) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME time = {low, high};
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

} // namespace

// Trees built from one folder given as the custom root, as with "-r".
class CustomRootTree : public ::testing::Test {
protected:
    void SetUp() override {
        MenuOptions::Current().folderOrder = 0;
        MenuOptions::Current().customRoot.Assign(root.Path().c_str());
    }
    void TearDown() override {
        MenuOptions::Current().folderOrder = 0;
        MenuOptions::Current().customRoot.Assign(L"");
    }
    std::unique_ptr<MenuNode> Scan() {
        std::unique_ptr<MenuNode> tree(new MenuNode(nullptr));
        tree->flags = NODE_CUSTOM_ROOT;
        TreeScan::Scan(tree.get());
        return tree;
    }

    TempFolder root{L"menu"};
};

TEST_F(CustomRootTree, NamesLoseOnlyARealExtension) {
    root.Write(L"App.lnk", "");
    root.Write(L"Setup 2.0 Beta", "");
    root.Write(L"Tool 1.5 Beta.lnk", "");
    root.Write(L"readme", "");
    root.Folder(L"Tools.v2");
    root.Write(L"Tools.v2\\x.lnk", "");
    auto tree = Scan();
    EXPECT_EQ((std::vector<std::wstring>{L"App", L"readme", L"Setup 2.0 Beta", L"Tool 1.5 Beta", L"Tools.v2"}),
              ChildNames(tree.get()));
    MenuNode* folder = ChildNamed(tree.get(), L"Tools.v2");
    ASSERT_NE(nullptr, folder);
    EXPECT_STREQ(L"Tools.v2\\", folder->relativePath.Buffer());
    EXPECT_EQ((unsigned)(NODE_FOLDER | NODE_CUSTOM_ROOT), folder->flags);
    MenuNode* inner = folder->FirstChild();
    ASSERT_NE(nullptr, inner);
    EXPECT_STREQ(L"Tools.v2\\x.lnk", inner->relativePath.Buffer());
    EXPECT_EQ((unsigned)(NODE_ITEM | NODE_CUSTOM_ROOT), inner->flags);
    EXPECT_EQ(folder, inner->parent);
}

TEST_F(CustomRootTree, HiddenEntriesAreLeftOutButSystemAndReadOnlyStay) {
    SetFileAttributesW(root.Write(L"desktop.ini", "[.ShellClassInfo]").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW(root.Write(L"Secret.lnk", "").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(root.Folder(L"Hidden Folder").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    root.Write(L"Hidden Folder\\inside.lnk", "");
    SetFileAttributesW(root.Write(L"System.lnk", "").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW(root.Write(L"ReadOnly.lnk", "").c_str(), FILE_ATTRIBUTE_READONLY);
    auto tree = Scan();
    EXPECT_EQ((std::vector<std::wstring>{L"ReadOnly", L"System"}), ChildNames(tree.get()));
}

TEST_F(CustomRootTree, EmptyFoldersGetAPlaceholderButTheRootDoesNot) {
    root.Folder(L"Nothing");
    root.Folder(L"Outer");
    root.Folder(L"Outer\\Inner");
    auto tree = Scan();
    MenuNode* nothing = ChildNamed(tree.get(), L"Nothing");
    ASSERT_NE(nullptr, nothing);
    ASSERT_EQ(1, nothing->ChildCount());
    EXPECT_EQ((unsigned)NODE_EMPTY, nothing->FirstChild()->flags);
    EXPECT_FALSE(nothing->FirstChild()->name.IsEmpty());
    EXPECT_EQ(0, nothing->HasLaunchable());

    // A folder holding only an empty folder has nothing to launch either.
    MenuNode* outer = ChildNamed(tree.get(), L"Outer");
    ASSERT_NE(nullptr, outer);
    EXPECT_EQ((std::vector<std::wstring>{L"Inner"}), ChildNames(outer));
    EXPECT_EQ(0, outer->HasLaunchable());
    EXPECT_EQ(0, tree->HasLaunchable());

    root.Write(L"Outer\\Inner\\Deep.lnk", "");
    auto rescanned = Scan();
    EXPECT_EQ(1, ChildNamed(rescanned.get(), L"Outer")->HasLaunchable());

    TempFolder bare{L"bare"};
    MenuOptions::Current().customRoot.Assign(bare.Path().c_str());
    auto empty = Scan();
    EXPECT_EQ(0, empty->ChildCount());
}

TEST_F(CustomRootTree, NamesSortAsExplorerSortsThemAccentsAmongTheirLettersAndDigitsByValue) {
    for (const wchar_t* name : {L"Z\u00fcrich \u00dcbersicht", L"Tool 10", L"\u00c5ngstr\u00f6m Tools", L"Veltrix",
                                L"\u00c9diteur de texte", L"Tool 2", L"abc", L"Beta"})
        root.Write(std::wstring(name) + L".lnk", "");
    auto tree = Scan();
    EXPECT_EQ((std::vector<std::wstring>{L"abc", L"\u00c5ngstr\u00f6m Tools", L"Beta", L"\u00c9diteur de texte",
                                         L"Tool 2", L"Tool 10", L"Veltrix", L"Z\u00fcrich \u00dcbersicht"}),
              ChildNames(tree.get()));
    for (MenuNode* child = tree->FirstChild(); child && tree->NextChild(child); child = tree->NextChild(child))
        EXPECT_LT(MenuNode::Compare(*child, *tree->NextChild(child)), 0) << "the sort and the comparison disagree";
}

TEST_F(CustomRootTree, FolderOrderOption) {
    root.Write(L"b-entry.lnk", "");
    root.Write(L"d-entry.lnk", "");
    root.Folder(L"a-folder");
    root.Folder(L"c-folder");
    root.Write(L"a-folder\\x.lnk", "");
    root.Write(L"c-folder\\y.lnk", "");

    MenuOptions::Current().folderOrder = 0;
    EXPECT_EQ((std::vector<std::wstring>{L"a-folder", L"b-entry", L"c-folder", L"d-entry"}), ChildNames(Scan().get()));
    MenuOptions::Current().folderOrder = 1;
    EXPECT_EQ((std::vector<std::wstring>{L"b-entry", L"d-entry", L"a-folder", L"c-folder"}), ChildNames(Scan().get()));
    MenuOptions::Current().folderOrder = 2;
    EXPECT_EQ((std::vector<std::wstring>{L"a-folder", L"c-folder", L"b-entry", L"d-entry"}), ChildNames(Scan().get()));
    MenuOptions::Current().folderOrder = 7;
    EXPECT_EQ((std::vector<std::wstring>{L"a-folder", L"c-folder", L"b-entry", L"d-entry"}), ChildNames(Scan().get()));
}

TEST_F(CustomRootTree, ChangeStampIsTheSumOfTheWriteTimeHalves) {
    std::wstring file = root.Write(L"Stamped.lnk", "");
    SetWriteTime(file, 0xF0000000u, 0x01D9ABCDu);
    auto tree = Scan();
    MenuNode* node = ChildNamed(tree.get(), L"Stamped");
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(0xF0000000u + 0x01D9ABCDu, node->hash) << "the sum wraps modulo 2^32";
    EXPECT_EQ(0x01D9ABCDu - 0x10000000u, node->hash);
}

TEST_F(CustomRootTree, RootWithOrWithoutTrailingBackslash) {
    root.Write(L"One.lnk", "");
    WString folder;
    ASSERT_EQ(1, MenuNode::SourceFolder(NODE_CUSTOM_ROOT, folder));
    EXPECT_EQ(root.Path() + L"\\", folder.Buffer());
    EXPECT_EQ((std::vector<std::wstring>{L"One"}), ChildNames(Scan().get()));

    MenuOptions::Current().customRoot.Assign((root.Path() + L"\\").c_str());
    ASSERT_EQ(1, MenuNode::SourceFolder(NODE_CUSTOM_ROOT, folder));
    EXPECT_EQ(root.Path() + L"\\", folder.Buffer());
    EXPECT_EQ((std::vector<std::wstring>{L"One"}), ChildNames(Scan().get()));

    MenuOptions::Current().customRoot.Assign(L"");
    EXPECT_EQ(0, MenuNode::SourceFolder(NODE_CUSTOM_ROOT, folder));
    EXPECT_STREQ(L"", folder.Buffer());
    EXPECT_EQ(0, MenuNode::SourceFolder(0, folder));
}

TEST_F(CustomRootTree, MissingOrOverlongRootGivesAnEmptyTree) {
    MenuOptions::Current().customRoot.Assign((root.Path() + L"\\does-not-exist").c_str());
    EXPECT_EQ(0, Scan()->ChildCount());

    std::wstring overlong = root.Path() + L"\\" + std::wstring(300, L'n');
    MenuOptions::Current().customRoot.Assign(overlong.c_str());
    EXPECT_EQ(0, Scan()->ChildCount());

    MenuOptions::Current().customRoot.Assign(L"Q:\\no-such-drive");
    EXPECT_EQ(0, Scan()->ChildCount());
}

TEST_F(CustomRootTree, StoredNameOutlivesAnUndecodableIconUnlessTheShellNamesTheEntry) {
    CoInitialize(nullptr);
    wchar_t notepad[MAX_PATH];
    GetWindowsDirectoryW(notepad, MAX_PATH);
    wcscat(notepad, L"\\notepad.exe");
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Gone.lnk", notepad));
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Kept.lnk", notepad));
    auto tree = Scan();
    MenuNode* gone = ChildNamed(tree.get(), L"Gone");
    MenuNode* kept = ChildNamed(tree.get(), L"Kept");
    ASSERT_NE(nullptr, gone);
    ASSERT_NE(nullptr, kept);

    // Rows that match both entries, with an icon no decoder takes.
    TempFolder cacheFolder{L"menu-cache"};
    IconCache cache;
    ASSERT_EQ(1, cache.Open((cacheFolder.Path() + L"\\Veltrix.sql").c_str(), IconCache::WRITES_UNSYNCED,
                            IconCache::LOCKING_EXCLUSIVE));
    ASSERT_EQ(1, cache.EnsureSchema());
    const std::vector<unsigned char> damaged = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0};
    ASSERT_EQ(1, cache.BeginWrite());
    cache.WriteEntry(gone->relativePath, gone->flags, gone->hash, L"Stored Gone", damaged);
    cache.WriteEntry(kept->relativePath, kept->flags, kept->hash, L"Stored Kept", damaged);
    ASSERT_EQ(1, cache.EndWrite());
    // Gone by the time the menu is built: the shell can tell neither its name nor its icon.
    ASSERT_TRUE(DeleteFileW((root.Path() + L"\\Gone.lnk").c_str()));

    HWND owner = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    MenuBuilder(GetModuleHandleW(nullptr), owner, &cache).BuildMenu(*tree);
    EXPECT_STREQ(L"Stored Gone", gone->name.Buffer()) << "the shell gave no name: the stored one stays";
    EXPECT_STREQ(L"Kept", kept->name.Buffer()) << "the shell's name wins over the stored one";
    // Neither counts as read from the cache, so both rows are written again at exit.
    EXPECT_EQ(0, gone->fromCache);
    EXPECT_EQ(0, kept->fromCache);
    std::vector<std::wstring> shown;
    for (int position = 0; position < GetMenuItemCount(tree->menu.Handle()); position++) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_DATA;
        GetMenuItemInfoW(tree->menu.Handle(), position, TRUE, &info);
        MenuItemData* record = MenuItemData::FromItemData(info.dwItemData);
        ASSERT_NE(nullptr, record);
        shown.push_back(record->text);
        if (record->node == kept) {
            EXPECT_GE(record->imageIndex, 0) << "the icon came from the shell";
        }
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Stored Gone", L"Kept"}), shown);
    tree.reset();
    DestroyWindow(owner);
    CoUninitialize();
}

TEST(MenuNodeCommands, FixedEntriesCarryTheirKindAndName) {
    MenuNode root(nullptr);
    root.AddSeparator();
    MenuNode* about = root.AddCommand(CMD_ABOUT);
    MenuNode* exit = root.AddCommand(CMD_EXIT);
    MenuNode* empty = root.AddEmptyPlaceholder();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ((unsigned)NODE_SEPARATOR, root.FirstChild()->flags);
    EXPECT_TRUE(root.FirstChild()->name.IsEmpty());
    EXPECT_EQ((unsigned)NODE_COMMAND, about->flags);
    EXPECT_EQ(CMD_ABOUT, about->commandType);
    EXPECT_EQ(CMD_EXIT, exit->commandType);
    EXPECT_EQ((unsigned)NODE_EMPTY, empty->flags);
    EXPECT_EQ(1, root.HasLaunchable()) << "a command is launchable";
    for (int type = CMD_ABOUT; type <= CMD_EXIT; type++)
        EXPECT_NE(0u, MenuNode::CommandNameId(type));
    EXPECT_EQ(0u, MenuNode::CommandNameId(99));
    if (PRIMARYLANGID(GetUserDefaultLangID()) == LANG_ENGLISH) {
        EXPECT_STREQ(L"About...", about->name.Buffer());
        EXPECT_STREQ(L"Exit", exit->name.Buffer());
        EXPECT_STREQ(L"Empty", empty->name.Buffer());
    }
}

// Trees built from the test prefix's real all-users and per-user Programs folders.
class StartMenuTree : public ::testing::Test {
protected:
    void SetUp() override {
        MenuOptions::Current().folderOrder = 0;
        MenuOptions::Current().customRoot.Assign(L"");
        label = L"VeltrixFixture-" + std::to_wstring(GetCurrentProcessId());
        common = ProgramsFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + label;
        user = ProgramsFolder(CSIDL_PROGRAMS) + L"\\" + label;
        CreateDirectoryW(common.c_str(), nullptr);
        CreateDirectoryW(user.c_str(), nullptr);
    }
    void TearDown() override {
        TempFolder::RemoveTree(common);
        TempFolder::RemoveTree(user);
    }
    void Write(const std::wstring& folder, const std::wstring& relative) {
        HANDLE file = CreateFileW((folder + L"\\" + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }
    // Scans both Programs folders and returns the fixture folder's node.
    MenuNode* ScanFixture() {
        tree.reset(new MenuNode(nullptr));
        tree->flags = NODE_COMMON | NODE_USER;
        TreeScan::Scan(tree.get());
        return ChildNamed(tree.get(), label);
    }

    std::wstring label, common, user;
    std::unique_ptr<MenuNode> tree;
};

TEST_F(StartMenuTree, ShortcutInBothPlacesIsOneEntryLivingInAllUsers) {
    Write(common, L"Shared.lnk");
    Write(user, L"shared.LNK");
    Write(user, L"Mine.lnk");
    Write(common, L"Theirs.lnk");
    SetWriteTime(common + L"\\Shared.lnk", 0x20000000u, 0x01D9A000u);
    SetWriteTime(user + L"\\shared.LNK", 0x30000000u, 0x01D9B000u);

    MenuNode* fixture = ScanFixture();
    ASSERT_NE(nullptr, fixture);
    EXPECT_EQ((unsigned)(NODE_FOLDER | NODE_COMMON | NODE_USER), fixture->flags);
    EXPECT_EQ((std::vector<std::wstring>{L"Mine", L"Shared", L"Theirs"}), ChildNames(fixture));

    MenuNode* shared = ChildNamed(fixture, L"Shared");
    ASSERT_NE(nullptr, shared);
    EXPECT_EQ(0x19u, shared->flags);
    EXPECT_EQ(0x20000000u + 0x01D9A000u, shared->hash) << "the stamp of the all-users copy";
    EXPECT_EQ((unsigned)(NODE_ITEM | NODE_USER), ChildNamed(fixture, L"Mine")->flags);
    EXPECT_EQ((unsigned)(NODE_ITEM | NODE_COMMON), ChildNamed(fixture, L"Theirs")->flags);

    WString folder;
    ASSERT_EQ(1, MenuNode::SourceFolder(shared->flags, folder));
    folder.Append(shared->relativePath);
    EXPECT_EQ(0, _wcsicmp((common + L"\\Shared.lnk").c_str(), folder.Buffer()));
    EXPECT_EQ(1, FileExists(folder));
}

TEST_F(StartMenuTree, FolderInBothPlacesMergesBothContentsIntoOneSortedList) {
    CreateDirectoryW((common + L"\\Games").c_str(), nullptr);
    CreateDirectoryW((user + L"\\games").c_str(), nullptr);
    Write(common, L"Games\\Chess.lnk");
    Write(common, L"Games\\mines.lnk");
    Write(user, L"games\\Bridge.lnk");
    Write(user, L"games\\Zork.lnk");
    // A file and a folder of the same name stay two nodes.
    Write(user, L"Games.lnk");

    MenuNode* fixture = ScanFixture();
    ASSERT_NE(nullptr, fixture);
    EXPECT_EQ((std::vector<std::wstring>{L"Games", L"Games"}), ChildNames(fixture));
    MenuNode* games = fixture->FirstChild();
    if (!(games->flags & NODE_FOLDER))
        games = fixture->NextChild(games);
    EXPECT_EQ((unsigned)(NODE_FOLDER | NODE_COMMON | NODE_USER), games->flags);
    EXPECT_EQ((std::vector<std::wstring>{L"Bridge", L"Chess", L"mines", L"Zork"}), ChildNames(games));
    EXPECT_EQ((unsigned)(NODE_ITEM | NODE_USER), ChildNamed(games, L"Bridge")->flags);
    EXPECT_EQ((unsigned)(NODE_ITEM | NODE_COMMON), ChildNamed(games, L"Chess")->flags);
}

TEST_F(StartMenuTree, NonAsciiCaseDoesNotMerge) {
    Write(common, L"\u00c4pfel.lnk");
    Write(user, L"\u00e4pfel.lnk");
    MenuNode* fixture = ScanFixture();
    ASSERT_NE(nullptr, fixture);
    EXPECT_EQ((std::vector<std::wstring>{L"\u00c4pfel", L"\u00e4pfel"}), ChildNames(fixture));
}

TEST_F(StartMenuTree, RootHasBothSourcesAndNoPlaceholder) {
    MenuNode* fixture = ScanFixture();
    ASSERT_NE(nullptr, fixture);
    // Two empty fixture folders merge into one folder with an "Empty" child.
    ASSERT_EQ(1, fixture->ChildCount());
    EXPECT_EQ((unsigned)NODE_EMPTY, fixture->FirstChild()->flags);
    for (MenuNode* child = tree->FirstChild(); child; child = tree->NextChild(child))
        EXPECT_NE((unsigned)NODE_EMPTY, child->flags);
}
