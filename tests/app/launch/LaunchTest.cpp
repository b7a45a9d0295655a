#include "app/launch/Launcher.h"
#include "app/tree/MenuNode.h"
#include "app/tree/MenuOptions.h"
#include "app/tree/TreeScan.h"
#include "base/Library.h"
#include "sysinfo/OsVersion.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class Launching : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        MenuOptions::Current().customRoot.Assign(root.Path().c_str());
    }
    void TearDown() override {
        MenuOptions::Current().customRoot.Assign(L"");
        CoUninitialize();
    }
    TempFolder root{L"launch"};
};

TEST_F(Launching, AnEntryOpensItsShortcutThroughTheShell) {
    std::wstring marker = root.Path() + L"\\ran.txt";
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Tool.lnk", TestProgramFolder() + L"marker.exe", L"\"" + marker + L"\""));
    std::unique_ptr<MenuNode> tree(new MenuNode(nullptr));
    tree->flags = NODE_CUSTOM_ROOT;
    TreeScan::Scan(tree.get());
    MenuNode* entry = tree->FirstChild();
    ASSERT_NE(nullptr, entry);
    Launcher launcher(nullptr);
    EXPECT_EQ(1, launcher.Launch(*entry));
    EXPECT_TRUE(WaitForFile(marker, 10000)) << "the shortcut's program did not run";

    // Folders, separators and placeholders do nothing and still answer 1.
    EXPECT_EQ(1, launcher.Launch(*tree->AddSeparator()));
    EXPECT_EQ(1, launcher.Launch(*tree->AddEmptyPlaceholder()));
}

TEST_F(Launching, SystemLibrariesStillLoadAfterALaunch) {
    // A launch never leaves WOW64 file-system redirection off: with it off, a 32-bit process would find the
    // 64-bit system libraries and fail to load any system library afterwards.
    if (!IsWow64())
        GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected";
    std::wstring marker = root.Path() + L"\\ran.txt";
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Tool.lnk", TestProgramFolder() + L"marker.exe", L"\"" + marker + L"\""));
    std::unique_ptr<MenuNode> tree(new MenuNode(nullptr));
    tree->flags = NODE_CUSTOM_ROOT;
    TreeScan::Scan(tree.get());
    ASSERT_NE(nullptr, tree->FirstChild());
    Launcher(nullptr).Launch(*tree->FirstChild());
    EXPECT_TRUE(WaitForFile(marker, 10000));
    ASSERT_EQ(nullptr, GetModuleHandleW(L"mapi32.dll")) << "pick a library this test has not loaded yet";
    Library library;
    EXPECT_EQ(1, library.Load(L"mapi32.dll"));
}

TEST_F(Launching, AMergedEntryLaunchesItsAllUsersCopy) {
    // The same shortcut name in both Programs folders of the test prefix, each starting the marker
    // program with its own file.
    MenuOptions::Current().customRoot.Assign(L"");
    std::wstring label = L"VeltrixLaunch-" + std::to_wstring(GetCurrentProcessId());
    WString common, user;
    ASSERT_EQ(1, MenuNode::SourceFolder(NODE_COMMON, common));
    ASSERT_EQ(1, MenuNode::SourceFolder(NODE_USER, user));
    std::wstring commonFolder = std::wstring(common.Buffer()) + label, userFolder = std::wstring(user.Buffer()) + label;
    CreateDirectoryW(commonFolder.c_str(), nullptr);
    CreateDirectoryW(userFolder.c_str(), nullptr);
    std::wstring fromCommon = root.Path() + L"\\common.txt", fromUser = root.Path() + L"\\user.txt";
    ASSERT_TRUE(
        MakeShortcut(commonFolder + L"\\Shared.lnk", TestProgramFolder() + L"marker.exe", L"\"" + fromCommon + L"\""));
    ASSERT_TRUE(
        MakeShortcut(userFolder + L"\\Shared.lnk", TestProgramFolder() + L"marker.exe", L"\"" + fromUser + L"\""));

    std::unique_ptr<MenuNode> tree(new MenuNode(nullptr));
    tree->flags = NODE_COMMON | NODE_USER;
    TreeScan::Scan(tree.get());
    MenuNode* folder = tree->FirstChild();
    while (folder && label != folder->name.Buffer())
        folder = tree->NextChild(folder);
    ASSERT_NE(nullptr, folder);
    MenuNode* shared = folder->FirstChild();
    ASSERT_NE(nullptr, shared);
    EXPECT_EQ(0x19u, shared->flags);
    Launcher(nullptr).Launch(*shared);
    EXPECT_TRUE(WaitForFile(fromCommon, 10000)) << "the all-users copy did not run";
    Sleep(500);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(fromUser.c_str())) << "the user's copy ran";
    TempFolder::RemoveTree(commonFolder);
    TempFolder::RemoveTree(userFolder);
}
