// The scan against real folders with the shapes that broke it: links back to a parent, localized folder
// names, paths past the classic limit, and one folder of many entries.
#include "app/launch/Launcher.h"
#include "app/menus/MenuBuilder.h"
#include "app/shell/LongPath.h"
#include "app/tree/LevelReader.h"
#include "app/tree/MenuNode.h"
#include "app/tree/MenuOptions.h"
#include "app/tree/TreeScan.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <memory>
#include <string>
#include <vector>

namespace {

int Depth(const MenuNode* node) {
    int deepest = 0;
    for (MenuNode* child = node->FirstChild(); child; child = node->NextChild(child)) {
        int depth = Depth(child) + 1;
        if (depth > deepest)
            deepest = depth;
    }
    return deepest;
}

int Count(const MenuNode* node) {
    int count = 1;
    for (MenuNode* child = node->FirstChild(); child; child = node->NextChild(child))
        count += Count(child);
    return count;
}

std::vector<std::wstring> ChildNames(const MenuNode* node) {
    std::vector<std::wstring> names;
    for (MenuNode* child = node->FirstChild(); child; child = node->NextChild(child))
        names.push_back(child->name.Buffer());
    return names;
}

// A junction (mount point) at link naming target, made as "mklink /J" makes it.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    std::wstring substitute = L"\\??\\" + target;
    std::vector<unsigned char> buffer(8 + 8 + (substitute.size() + 1 + target.size() + 1) * sizeof(wchar_t));
    USHORT substituteBytes = (USHORT)(substitute.size() * sizeof(wchar_t));
    USHORT printBytes = (USHORT)(target.size() * sizeof(wchar_t));
    DWORD* header = reinterpret_cast<DWORD*>(buffer.data());
    header[0] = IO_REPARSE_TAG_MOUNT_POINT;
    header[1] = (DWORD)(buffer.size() - 8);
    USHORT* offsets = reinterpret_cast<USHORT*>(buffer.data() + 8);
    offsets[0] = 0;
    offsets[1] = substituteBytes;
    offsets[2] = (USHORT)(substituteBytes + sizeof(wchar_t));
    offsets[3] = printBytes;
    wchar_t* paths = reinterpret_cast<wchar_t*>(buffer.data() + 16);
    wcscpy(paths, substitute.c_str());
    wcscpy(paths + substitute.size() + 1, target.c_str());
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), (DWORD)buffer.size(), nullptr, 0,
                              &returned, nullptr);
    CloseHandle(handle);
    if (!ok)
        RemoveDirectoryW(link.c_str());
    return ok != 0;
}

} // namespace

class TreeScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        MenuOptions::Current().folderOrder = 0;
        MenuOptions::Current().customRoot.Assign(root.Path().c_str());
    }
    void TearDown() override {
        // Links first: removing the tree through them would reach what they name.
        for (auto it = links.rbegin(); it != links.rend(); ++it)
            RemoveDirectoryW(it->c_str());
        MenuOptions::Current().customRoot.Assign(L"");
        CoUninitialize();
    }
    std::unique_ptr<MenuNode> Scan() {
        std::unique_ptr<MenuNode> tree(new MenuNode(nullptr));
        tree->flags = NODE_CUSTOM_ROOT;
        TreeScan::Scan(tree.get());
        return tree;
    }

    TempFolder root{L"scan"};
    std::vector<std::wstring> links;
};

// Each link to an ancestor once repeated the tree below it up to the path limit; two of them doubled it
// at every level, past any memory.
TEST_F(TreeScanTest, LinksBackToAnAncestorAreNotFollowed) {
    root.Write(L"Top.lnk", "");
    std::wstring inner = root.Folder(L"Inner");
    root.Write(L"Inner\\Deep.lnk", "");
    root.Folder(L"Elsewhere");
    root.Write(L"Elsewhere\\Other.lnk", "");
    std::wstring junction = inner + L"\\Back to the root";
    std::wstring symlink = inner + L"\\Back to inner";
    bool madeJunction = MakeJunction(junction, root.Path());
    bool madeSymlink = CreateSymbolicLinkW(symlink.c_str(), inner.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
    if (madeJunction)
        links.push_back(junction);
    if (madeSymlink)
        links.push_back(symlink);
    if (!madeJunction && !madeSymlink)
        GTEST_SKIP() << "this system makes neither junctions nor symbolic links to folders";
    // A link to a folder that is no ancestor is read like any folder.
    std::wstring sideways = inner + L"\\Sideways";
    if (MakeJunction(sideways, root.Path() + L"\\Elsewhere"))
        links.push_back(sideways);

    auto tree = Scan();
    EXPECT_EQ((std::vector<std::wstring>{L"Elsewhere", L"Inner", L"Top"}), ChildNames(tree.get()));
    MenuNode* innerNode = tree->NextChild(tree->FirstChild());
    std::vector<std::wstring> expected = {L"Deep"};
    if (links.back() == sideways)
        expected.insert(expected.end(), L"Sideways");
    EXPECT_EQ(expected, ChildNames(innerNode)) << "the links back are left out";
    EXPECT_LE(Depth(tree.get()), 3);
    EXPECT_LE(Count(tree.get()), 10);
}

TEST_F(TreeScanTest, DesktopIniNamesAFolderWhichSortsAndMergesByItsOwnName) {
    // A string resource of this test program: string 4 of the program's table, "Run..." in English.
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring accessories = root.Folder(L"Accessories");
    root.Write(L"Accessories\\Notepad.lnk", "");
    char narrow[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, program, -1, narrow, sizeof(narrow), nullptr, nullptr);
    root.Write(L"Accessories\\desktop.ini",
               "[.ShellClassInfo]\r\nLocalizedResourceName=@" + std::string(narrow) + ",-4\r\n");
    SetFileAttributesW((accessories + L"\\desktop.ini").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW(accessories.c_str(), FILE_ATTRIBUTE_SYSTEM);
    std::wstring games = root.Folder(L"Games");
    SetFileAttributesW(
        root.Write(L"Games\\desktop.ini", "[.ShellClassInfo]\r\nLocalizedResourceName=Aaa Spiele\r\n").c_str(),
        FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(games.c_str(), FILE_ATTRIBUTE_SYSTEM);
    root.Write(L"Games\\Chess.lnk", "");
    // Without the read-only or system attribute Explorer ignores a folder's desktop.ini, and so does the scan.
    root.Folder(L"Plain");
    root.Write(L"Plain\\desktop.ini", "[.ShellClassInfo]\r\nLocalizedResourceName=Renamed\r\n");
    root.Write(L"Plain\\x.lnk", "");
    root.Write(L"Mail.lnk", "");

    auto tree = Scan();
    std::wstring run = L"Run...";
    if (PRIMARYLANGID(GetUserDefaultLangID()) == LANG_ENGLISH) {
        EXPECT_EQ((std::vector<std::wstring>{L"Aaa Spiele", L"Mail", L"Plain", run}), ChildNames(tree.get()));
    }
    MenuNode* spiele = tree->FirstChild();
    EXPECT_STREQ(L"Games\\", spiele->relativePath.Buffer()) << "the path keeps the file-system name";
    EXPECT_EQ((std::vector<std::wstring>{L"Chess"}), ChildNames(spiele));
    SetFileAttributesW(accessories.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(games.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Entries below the classic path limit of 259 characters: their folder is read (it showed "Empty"), and
// the shell is handed a path it can take.
TEST_F(TreeScanTest, EntriesPastThePathLimitAreListedAndNamedByTheirShortPath) {
    std::wstring folder = L"\\\\?\\" + root.Path();
    std::wstring relative;
    for (int i = 0; i < 6; i++) {
        std::wstring part = L"Level " + std::to_wstring(i) + L" " + std::wstring(40, L'x');
        folder += L"\\" + part;
        relative += part + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    std::wstring link = folder + L"\\Deep Tool.lnk";
    std::wstring staging = root.Path() + L"\\staging.lnk";
    ASSERT_TRUE(MakeShortcut(staging, TestProgramFolder() + L"marker.exe"));
    ASSERT_TRUE(MoveFileW(staging.c_str(), link.c_str()));
    ASSERT_GT(root.Path().size() + relative.size(), (size_t)MAX_PATH);

    auto tree = Scan();
    MenuNode* node = tree.get();
    while (node->FirstChild() && (node->FirstChild()->flags & NODE_FOLDER))
        node = node->FirstChild();
    ASSERT_NE(nullptr, node->FirstChild());
    MenuNode* entry = node->FirstChild();
    EXPECT_EQ((unsigned)(NODE_ITEM | NODE_CUSTOM_ROOT), entry->flags) << "the deepest folder was not read";
    EXPECT_EQ(relative + L"Deep Tool.lnk", entry->relativePath.Buffer());

    // The shell (SHGetFileInfoW, ShellExecuteExW) takes no "\\?\" path; the icon and the launch name the
    // entry by its short path, which is within the limit and names the same file. (Wine's shell parses
    // no short names, so the icon and the launch themselves are seen on Windows only.)
    WString full, shortened;
    ASSERT_EQ(1, MenuNode::SourceFolder(entry->flags, full));
    full.Append(entry->relativePath);
    ASSERT_EQ(1, ShellPath(full, shortened));
    EXPECT_LT(shortened.Length(), MAX_PATH);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(shortened));
    EXPECT_EQ(0, Launcher::OpenEntry((full.Buffer() + std::wstring(L"-missing")).c_str())) << "no such file";
    tree.reset();
    // TempFolder's removal stops at the path limit.
    DeleteFileW(link.c_str());
    for (int i = 0; i < 6; i++) {
        RemoveDirectoryW(folder.c_str());
        folder.resize(folder.rfind(L'\\'));
    }
}

// One folder of many entries, written in scrambled order: one sorted list, every entry once.
TEST_F(TreeScanTest, ALargeFolderIsSortedAsOneList) {
    const int entries = 3000;
    for (int i = entries - 1; i >= 0; i--)
        root.Write(L"Entry " + std::to_wstring(i * 7919 % entries) + L".lnk", "");
    auto tree = Scan();
    EXPECT_EQ(entries, tree->ChildCount());
    int inOrder = 1;
    for (MenuNode* child = tree->FirstChild(); child && tree->NextChild(child); child = tree->NextChild(child))
        inOrder &= MenuNode::Compare(*child, *tree->NextChild(child)) <= 0;
    EXPECT_EQ(1, inOrder);
}

TEST_F(TreeScanTest, TheTreeStopsGrowingAtItsFolderLimit) {
    const int folders = LevelReader::MaxFolders + 50;
    for (int i = 0; i < folders; i++)
        root.Folder(L"F" + std::to_wstring(i));
    auto tree = Scan();
    EXPECT_EQ(LevelReader::MaxFolders, tree->ChildCount());
    int counted = 0;
    for (MenuNode* child = tree->FirstChild(); child; child = tree->NextChild(child))
        counted += (child->flags & NODE_FOLDER) != 0;
    EXPECT_EQ(LevelReader::MaxFolders, counted);
    // Every folder's placeholder still counts as a node of its own.
    EXPECT_LE(Count(tree.get()), (int)LevelReader::MaxNodes);
}
