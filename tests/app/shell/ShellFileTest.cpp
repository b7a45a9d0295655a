// Files named to the shell by their item ID list: the way to a file past the classic path limit on a
// volume that keeps no short (8.3) names, where GetShortPathNameW hands the long path back. Wine always
// makes short names and cuts the shell's own paths and names at the limit, so here the list is built for a
// real file past the limit and used as far as Wine's shell allows.
#include "app/shell/LongPath.h"
#include "app/shell/ShellFile.h"

#include "Pixels.h"
#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>

namespace {

// Frees an item ID list when it goes.
struct IdList {
    PIDLIST_ABSOLUTE list = nullptr;
    ~IdList() { CoTaskMemFree(list); }
};

std::wstring PathOf(PCIDLIST_ABSOLUTE list) {
    wchar_t path[MAX_PATH] = L"";
    return SHGetPathFromIDListW(list, path) ? path : L"";
}

} // namespace

class ShellFileTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        // TempFolder's removal takes no path past the limit.
        DeleteFileW((L"\\\\?\\" + longFile).c_str());
        CoUninitialize();
    }
    TempFolder root{L"shell-file"};
    std::wstring longFile;
};

TEST_F(ShellFileTest, AFilePastThePathLimitIsNamedByItsFolderAndName) {
    std::wstring folder = root.Path();
    for (wchar_t letter = L'a'; folder.size() + 31 < MAX_PATH - 40; letter++)
        CreateDirectoryW((folder += L"\\" + std::wstring(30, letter)).c_str(), nullptr);
    std::wstring name = L"A tool whose name takes the path past the limit " + std::wstring(30, L'x') + L".txt";
    longFile = folder + L"\\" + name;
    ASSERT_GT(longFile.size(), (size_t)MAX_PATH);
    HANDLE handle = CreateFileW((L"\\\\?\\" + longFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    CloseHandle(handle);

    // The folder's list and one item more, the file, with or without the long form's prefix.
    IdList item, prefixed, parent, missing;
    ASSERT_EQ(1, ShellIdList(longFile.c_str(), &item.list));
    parent.list = ILClone(item.list);
    ASSERT_TRUE(ILRemoveLastID(parent.list));
    EXPECT_EQ(folder, PathOf(parent.list));
    ASSERT_EQ(1, ShellIdList((L"\\\\?\\" + longFile).c_str(), &prefixed.list));
    EXPECT_TRUE(ILIsEqual(item.list, prefixed.list));
    EXPECT_EQ(0, ShellIdList((longFile + L"-missing").c_str(), &missing.list));
    EXPECT_EQ(nullptr, missing.list);
    // The shell names and shows it from the list; Wine cuts the name where the path passes the limit.
    ShellFile file;
    ASSERT_EQ(1, file.NameByIdList(longFile.c_str()));
    SHFILEINFOW info = {};
    EXPECT_NE(0u, file.Info(info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_DISPLAYNAME));
    EXPECT_TRUE(wcslen(info.szDisplayName) > 20 && name.find(info.szDisplayName) == 0) << info.szDisplayName;
}

TEST_F(ShellFileTest, AnItemIdListOpensAndNamesTheFileAsItsPathDoes) {
    std::wstring marker = root.Path() + L"\\ran.txt";
    std::wstring link = root.Path() + L"\\Tool.lnk";
    ASSERT_TRUE(MakeShortcut(link, TestProgramFolder() + L"marker.exe", L"\"" + marker + L"\""));
    IdList item;
    ASSERT_EQ(1, ShellIdList(link.c_str(), &item.list));
    EXPECT_EQ(link, PathOf(item.list)) << "a path short enough is parsed as it is";
    ShellFile file;
    ASSERT_EQ(1, file.NameByIdList(link.c_str()));
    EXPECT_EQ(1, file.ByIdList());
    SHFILEINFOW info = {};
    EXPECT_NE(0u, file.Info(info, SHGFI_DISPLAYNAME));
    EXPECT_STREQ(L"Tool", info.szDisplayName);
    EXPECT_EQ(1, file.Run(L"open", SW_SHOWNORMAL));
    EXPECT_TRUE(WaitForFile(marker, 10000)) << "the shortcut's program did not run";
}

// A menu on a monitor of other dots per inch asks for its own icon size, and gets the program's own image of
// that size, not a smaller one scaled up. Under Wine the system's small size is one value per process, so
// the sizes other than 16 are reached only through this call.
TEST_F(ShellFileTest, AShortcutsIconComesAsTheProgramsOwnImageOfTheSizeAsked) {
    std::wstring marker = TestProgramFolder() + L"marker.exe", link = root.Path() + L"\\Tool.lnk";
    ASSERT_TRUE(MakeShortcut(link, marker));
    HMODULE program = LoadLibraryExW(marker.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program);
    for (int size : {16, 20, 24, 32, 48}) {
        WString name;
        HICON icon = nullptr;
        int systemIndex = 0;
        ICONINFO parts = {};
        BITMAP shape = {};
        ASSERT_TRUE(ShellFile::Look(link.c_str(), size, name, &icon, &systemIndex) && GetIconInfo(icon, &parts));
        GetObjectW(parts.hbmColor, sizeof(shape), &shape);
        DeleteObject(parts.hbmColor);
        DeleteObject(parts.hbmMask);
        EXPECT_TRUE(shape.bmWidth == size && abs(shape.bmHeight) == size) << size;
        // Drawn on a colour the icon does not hold: the program's own image of that size, and not blank.
        HICON own = (HICON)LoadImageW(program, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0);
        Pixels drawn = Pixels::OfIcon(size, size, RGB(255, 0, 255), icon);
        EXPECT_EQ(Pixels::OfIcon(size, size, RGB(255, 0, 255), own).data, drawn.data) << size;
        EXPECT_GT(
            std::count_if(drawn.data.begin(), drawn.data.end(), [](DWORD p) { return (p & 0xFFFFFF) != 0xFF00FF; }),
            size * size / 4);
        DestroyIcon(own);
        DestroyIcon(icon);
    }
    FreeLibrary(program);
}
