// Files named to the shell by their item ID list: the way to a file past the classic path limit on a
// volume that keeps no short (8.3) names, where GetShortPathNameW hands the long path back. Wine always
// makes short names, so the fault itself shows only on such a Windows volume; here the ID list is built
// for real folder trees past the limit, read back, and used as far as Wine's shell allows.
#include "app/LongPath.h"
#include "app/ShellFile.h"
#include "sysinfo/OsVersion.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

namespace {

// Frees an item ID list when it goes.
struct IdList {
    PIDLIST_ABSOLUTE list = nullptr;
    ~IdList() { CoTaskMemFree(list); }
};

// The path an ID list names, read back one item at a time from the end: each item's own file name, as the
// item holds it, until the rest is a folder the shell gives a path for. (The shell makes no path or name
// past the limit: Wine cuts them there, Windows may refuse them.)
std::wstring ReadBack(PCIDLIST_ABSOLUTE list) {
    PIDLIST_ABSOLUTE rest = ILClone(list);
    std::wstring tail;
    wchar_t path[MAX_PATH] = L"";
    while (rest && !SHGetPathFromIDListW(rest, path)) {
        IShellFolder* parent = nullptr;
        PCUITEMID_CHILD last = nullptr;
        WIN32_FIND_DATAW found = {};
        if (FAILED(SHBindToParent(rest, IID_IShellFolder, (void**)&parent, &last)))
            break;
        HRESULT got = SHGetDataFromIDListW(parent, last, SHGDFIL_FINDDATA, &found, sizeof(found));
        if (SUCCEEDED(got))
            tail = L"\\" + std::wstring(found.cFileName) + tail;
        parent->Release();
        if (FAILED(got) || !ILRemoveLastID(rest))
            break;
    }
    std::wstring result = path[0] ? path + tail : L"";
    CoTaskMemFree(rest);
    return result;
}

// Creates the folders of path below root (with the "\\?\" prefix where needed), one per component.
void MakeFolders(const std::wstring& root, const std::wstring& relative) {
    std::wstring folder = L"\\\\?\\" + root;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos)
            end = relative.size();
        folder += L"\\" + relative.substr(start, end - start);
        CreateDirectoryW(folder.c_str(), nullptr);
        start = end + 1;
    }
}

// Folders below root up to just under the path limit: their path, at least depth characters long.
std::wstring FoldersUpTo(const std::wstring& root, size_t depth) {
    std::wstring relative;
    for (int i = 0; root.size() + relative.size() + 31 < depth; i++)
        relative += (relative.empty() ? L"" : L"\\") + std::wstring(30, (wchar_t)(L'a' + i));
    MakeFolders(root, relative);
    return root + L"\\" + relative;
}

void RemoveDeep(const std::wstring& root) {
    // TempFolder's removal stops at the path limit: this one goes through the long form.
    std::wstring extended = L"\\\\?\\" + root;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((extended + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDeep(root + L"\\" + name);
        else
            DeleteFileW((extended + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
    RemoveDirectoryW(extended.c_str());
}

bool WaitForFile(const std::wstring& path, DWORD milliseconds) {
    for (DWORD start = GetTickCount(); GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; Sleep(50)) {
        if (GetTickCount() - start > milliseconds)
            return false;
    }
    return true;
}

} // namespace

class ShellFileTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        RemoveDeep(root.Path());
        CoUninitialize();
    }
    TempFolder root{L"shell-file"};
};

TEST_F(ShellFileTest, AShortPathIsParsedAsItIs) {
    std::wstring file = root.Write(L"Short.txt", "x");
    IdList item;
    ASSERT_EQ(1, ShellIdList(file.c_str(), &item.list));
    wchar_t path[MAX_PATH] = L"";
    ASSERT_TRUE(SHGetPathFromIDListW(item.list, path));
    EXPECT_EQ(file, path);
}

TEST_F(ShellFileTest, AFilePastThePathLimitIsNamedByItsFolderAndName) {
    std::wstring folder = FoldersUpTo(root.Path(), MAX_PATH - 40);
    ASSERT_LT(folder.size(), (size_t)MAX_PATH);
    std::wstring name = L"A tool whose name takes the path past the limit " + std::wstring(30, L'x') + L".txt";
    std::wstring file = folder + L"\\" + name;
    ASSERT_GT(file.size(), (size_t)MAX_PATH);
    HANDLE handle = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    CloseHandle(handle);

    IdList item, prefixed;
    ASSERT_EQ(1, ShellIdList(file.c_str(), &item.list));
    // The list is the folder's, read back whole, and one item more: the file. (Wine's shell cuts every
    // name it makes where the path passes the limit, the item's own name too.)
    IdList folderPart;
    folderPart.list = ILClone(item.list);
    ASSERT_TRUE(folderPart.list && ILRemoveLastID(folderPart.list));
    wchar_t folderPath[MAX_PATH] = L"";
    ASSERT_TRUE(SHGetPathFromIDListW(folderPart.list, folderPath));
    EXPECT_EQ(folder, folderPath);
    std::wstring back = ReadBack(item.list);
    if (IsWine())
        EXPECT_TRUE(back.size() > folder.size() + 20 && file.compare(0, back.size(), back) == 0) << back;
    else
        EXPECT_EQ(file, back);
    ASSERT_EQ(1, ShellIdList((L"\\\\?\\" + file).c_str(), &prefixed.list));
    EXPECT_TRUE(ILIsEqual(item.list, prefixed.list)) << "the long form names the same item";
    // The shell names and shows it from the list.
    ShellFile shellFile;
    ASSERT_EQ(1, shellFile.NameByIdList(file.c_str()));
    SHFILEINFOW info = {};
    EXPECT_NE(0u, shellFile.Info(info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_DISPLAYNAME));
    EXPECT_EQ(0, std::wstring(name).find(info.szDisplayName)) << info.szDisplayName;

    IdList missing;
    EXPECT_EQ(0, ShellIdList((file + L"-missing").c_str(), &missing.list));
    EXPECT_EQ(nullptr, missing.list);
}

TEST_F(ShellFileTest, AFileInFoldersPastThePathLimitIsNamedItemByItem) {
    if (IsWine())
        GTEST_SKIP() << "Wine's shell folders cut their own path at the limit: one past it cannot be bound to";
    std::wstring folder = FoldersUpTo(root.Path(), MAX_PATH - 40);
    std::wstring relative = L"Level one " + std::wstring(40, L'1') + L"\\Level two " + std::wstring(40, L'2');
    MakeFolders(folder, relative);
    std::wstring file = folder + L"\\" + relative + L"\\Deep.txt";
    HANDLE handle = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    CloseHandle(handle);
    IdList item;
    ASSERT_EQ(1, ShellIdList(file.c_str(), &item.list));
    EXPECT_EQ(file, ReadBack(item.list));
}

TEST_F(ShellFileTest, AnItemIdListOpensAndNamesTheFileAsItsPathDoes) {
    std::wstring marker = root.Path() + L"\\ran.txt";
    std::wstring link = root.Path() + L"\\Tool.lnk";
    ASSERT_TRUE(MakeShortcut(link, TestProgramFolder() + L"marker.exe", L"\"" + marker + L"\""));
    ShellFile file;
    ASSERT_EQ(1, file.NameByIdList(link.c_str()));
    EXPECT_EQ(1, file.ByIdList());
    SHFILEINFOW info = {};
    EXPECT_NE(0u, file.Info(info, SHGFI_DISPLAYNAME));
    EXPECT_STREQ(L"Tool", info.szDisplayName);
    EXPECT_EQ(1, file.Run(L"open", SW_SHOWNORMAL));
    EXPECT_TRUE(WaitForFile(marker, 10000)) << "the shortcut's program did not run";
}

TEST_F(ShellFileTest, AShortcutPastThePathLimitOpensThroughItsItemIdList) {
    if (IsWine())
        GTEST_SKIP() << "Wine's shell turns an item ID list back into a path, cut at the limit, to open it";
    std::wstring folder = FoldersUpTo(root.Path(), MAX_PATH - 10);
    std::wstring link = folder + L"\\" + std::wstring(40, L't') + L".lnk";
    std::wstring marker = root.Path() + L"\\ran.txt";
    std::wstring staging = root.Path() + L"\\staging.lnk";
    ASSERT_TRUE(MakeShortcut(staging, TestProgramFolder() + L"marker.exe", L"\"" + marker + L"\""));
    ASSERT_TRUE(MoveFileW(staging.c_str(), (L"\\\\?\\" + link).c_str()));
    ShellFile file;
    ASSERT_EQ(1, file.NameByIdList(link.c_str()));
    EXPECT_EQ(1, file.Run(L"open", SW_SHOWNORMAL));
    EXPECT_TRUE(WaitForFile(marker, 10000)) << "the shortcut's program did not run";
}
