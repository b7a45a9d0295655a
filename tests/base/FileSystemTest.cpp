#include "base/FileObject.h"
#include "base/FileSystem.h"
#include "base/WString.h"
#include "base/RegistryRead.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

class FilesTest : public ::testing::Test {
protected:
    TempFolder temp{L"files"};
};

TEST_F(FilesTest, FileExistsOnFilesFoldersAndLockedFiles) {
    std::wstring file = temp.Write(L"present.txt", "data");
    EXPECT_EQ(1, FileExists(file.c_str()));
    EXPECT_EQ(0, FileExists(temp.Path().c_str()));
    EXPECT_EQ(0, FileExists((temp.Path() + L"\\missing.txt").c_str()));
    EXPECT_EQ(0, FileExists(L""));

    // Held open by someone who allows shared reading: still present.
    HANDLE held =
        CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(1, FileExists(file.c_str()));
    CloseHandle(held);
}

TEST_F(FilesTest, DeleteFileForceRemovesReadOnlyFiles) {
    std::wstring file = temp.Write(L"locked.txt", "x");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(0, DeleteFileW(file.c_str()) ? 1 : 0) << "a plain delete should refuse a read-only file";
    EXPECT_EQ(1, DeleteFileForce(file.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str()));
    EXPECT_EQ(0, DeleteFileForce(file.c_str()));
}

TEST_F(FilesTest, AddBackslashOnlyWhenMissing) {
    wchar_t path[MAX_PATH] = L"C:\\dir";
    AddBackslash(path);
    EXPECT_STREQ(L"C:\\dir\\", path);
    AddBackslash(path);
    EXPECT_STREQ(L"C:\\dir\\", path);
    wchar_t empty[4] = L"";
    AddBackslash(empty);
    EXPECT_STREQ(L"", empty);
}

namespace {

int Collect(const WIN32_FIND_DATAW& found, void* context) {
    static_cast<std::vector<std::wstring>*>(context)->push_back(found.cFileName);
    return 1;
}

int StopAtFirst(const WIN32_FIND_DATAW&, void* context) {
    (*static_cast<int*>(context))++;
    return 0;
}

} // namespace

TEST_F(FilesTest, FindFilesEnumeratesAndTreatsMissingAsEmpty) {
    temp.Write(L"a.lnk", "1");
    temp.Write(L"b.lnk", "2");
    temp.Folder(L"sub");
    std::vector<std::wstring> names;
    EXPECT_EQ(1, FindFiles((temp.Path() + L"\\*.*").c_str(), Collect, &names));
    EXPECT_EQ(5u, names.size()); // ".", "..", two files and the folder

    int calls = 0;
    EXPECT_EQ(0, FindFiles((temp.Path() + L"\\*.*").c_str(), StopAtFirst, &calls));
    EXPECT_EQ(1, calls);

    names.clear();
    EXPECT_EQ(1, FindFiles((temp.Path() + L"\\*.none").c_str(), Collect, &names));
    EXPECT_TRUE(names.empty());
    // A missing folder is a path error, not "nothing found": reported as failure, still no entries.
    EXPECT_EQ(0, FindFiles((temp.Path() + L"\\nowhere\\*.*").c_str(), Collect, &names));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(1, FindFiles((temp.Path() + L"\\*.*").c_str(), nullptr, nullptr));
}

TEST(FolderPath, PseudoFoldersEndWithBackslash) {
    for (int id :
         {(int)FOLDER_TEMP, (int)FOLDER_WINDOWS, (int)FOLDER_SYSTEM, (int)FOLDER_CURRENT, (int)FOLDER_SYSTEM_TEMP}) {
        wchar_t path[MAX_PATH] = L"";
        ASSERT_EQ(1, GetFolderPath(id, path)) << std::hex << id;
        size_t length = wcslen(path);
        ASSERT_GT(length, 3u) << std::hex << id;
        EXPECT_EQ(L'\\', path[length - 1]) << std::hex << id;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path)) << std::hex << id;
    }

    wchar_t temp[MAX_PATH], expected[MAX_PATH];
    GetFolderPath(FOLDER_TEMP, temp);
    GetTempPathW(MAX_PATH, expected);
    EXPECT_STREQ(expected, temp);

    wchar_t system[MAX_PATH], windows[MAX_PATH];
    GetFolderPath(FOLDER_SYSTEM, system);
    GetFolderPath(FOLDER_WINDOWS, windows);
    EXPECT_EQ(0, _wcsnicmp(system, windows, wcslen(windows))) << "the system folder lies in the Windows folder";
}

TEST(FolderPath, ProfileFoldersComeFromUserenv) {
    wchar_t profiles[MAX_PATH] = L"", mine[MAX_PATH] = L"", fallback[MAX_PATH] = L"";
    ASSERT_EQ(1, GetFolderPath(FOLDER_PROFILES, profiles));
    ASSERT_EQ(1, GetFolderPath(FOLDER_USER_PROFILE, mine));
    EXPECT_EQ(0, _wcsnicmp(mine, profiles, wcslen(profiles))) << "the user's profile lies among the profiles";
    GetFolderPath(FOLDER_DEFAULT_USER_PROFILE, fallback);
    wchar_t appData[MAX_PATH] = L"";
    ASSERT_EQ(1, GetFolderPath(CSIDL_APPDATA, appData));
    EXPECT_EQ(0, _wcsnicmp(appData, mine, wcslen(mine))) << "roaming data lies in the user's profile";
}

TEST(FolderPath, SystemTempFollowsTheMachineEnvironment) {
    static const wchar_t* key = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    WString savedTmp, savedTemp;
    int hadTmp = ReadRegistryText(HKEY_LOCAL_MACHINE, key, L"TMP", savedTmp);
    int hadTemp = ReadRegistryText(HKEY_LOCAL_MACHINE, key, L"TEMP", savedTemp);

    HKEY environment;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, &environment));
    auto write = [environment](const wchar_t* name, const wchar_t* text) {
        RegSetValueExW(environment, name, 0, REG_EXPAND_SZ, (const BYTE*)text,
                       (DWORD)((wcslen(text) + 1) * sizeof(wchar_t)));
    };
    RegDeleteValueW(environment, L"TMP");
    RegDeleteValueW(environment, L"TEMP");

    wchar_t path[MAX_PATH], windows[MAX_PATH];
    ASSERT_EQ(1, GetFolderPath(FOLDER_SYSTEM_TEMP, path));
    GetFolderPath(FOLDER_WINDOWS, windows);
    EXPECT_EQ(std::wstring(windows) + L"Temp\\", path);

    write(L"TEMP", L"%SystemRoot%\\VeltrixTemp");
    ASSERT_EQ(1, GetFolderPath(FOLDER_SYSTEM_TEMP, path));
    EXPECT_EQ(std::wstring(windows) + L"VeltrixTemp\\", path);

    RegDeleteValueW(environment, L"TEMP");
    if (hadTmp)
        write(L"TMP", savedTmp);
    if (hadTemp)
        write(L"TEMP", savedTemp);
    RegCloseKey(environment);
}

class FileObjectTest : public FilesTest {};

TEST_F(FileObjectTest, ReadLineHandlesQuotesCrLfAndALastLineWithoutEnd) {
    std::wstring file = temp.Write(L"lines.txt", "one\r\n\"two\nstill two\"\r\n\nlast");
    FileObject f;
    ASSERT_EQ(1, f.Open(file.c_str(), FileObject::READ, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ));
    WString line;
    ASSERT_EQ(1, f.ReadLine(line, FileObject::NARROW_LINES, L'"'));
    EXPECT_STREQ(L"one", line.Buffer());
    ASSERT_EQ(1, f.ReadLine(line, FileObject::NARROW_LINES, L'"'));
    EXPECT_STREQ(L"\"two\nstill two\"", line.Buffer());
    ASSERT_EQ(1, f.ReadLine(line, FileObject::NARROW_LINES, L'"'));
    EXPECT_STREQ(L"", line.Buffer());
    ASSERT_EQ(1, f.ReadLine(line, FileObject::NARROW_LINES, L'"'));
    EXPECT_STREQ(L"last", line.Buffer());
    EXPECT_EQ(0, f.ReadLine(line, FileObject::NARROW_LINES, L'"'));
}

TEST_F(FileObjectTest, ReadLineAcrossBufferRefillsAndInWideUnits) {
    std::string big(5000, 'a');
    std::wstring file = temp.Write(L"big.txt", big + "\nb");
    FileObject f;
    ASSERT_TRUE(f.Open(file.c_str(), FileObject::READ, 0, FILE_SHARE_READ));
    WString line;
    ASSERT_EQ(1, f.ReadLine(line, FileObject::NARROW_LINES, 0));
    EXPECT_EQ(5000, line.Length());
    ASSERT_EQ(1, f.ReadLine(line, FileObject::NARROW_LINES, 0));
    EXPECT_STREQ(L"b", line.Buffer());

    std::wstring wideFile = temp.Path() + L"\\wide.txt";
    FileObject w;
    ASSERT_TRUE(w.Open(wideFile.c_str(), FileObject::WRITE_CREATE, FILE_ATTRIBUTE_NORMAL, 0));
    ASSERT_EQ(1, w.WriteUnicodeBom());
    const wchar_t text[] = L"\u00c4pfel\r\nz";
    ASSERT_EQ(1, w.Write(sizeof(text) - sizeof(wchar_t), nullptr, text));
    w.Close();
    ASSERT_TRUE(f.Open(wideFile.c_str(), FileObject::READ, 0, FILE_SHARE_READ));
    ASSERT_EQ(1, f.ReadLine(line, FileObject::WIDE_LINES, 0));
    EXPECT_STREQ(L"\ufeff\u00c4pfel", line.Buffer()) << "the byte-order mark is left to the caller";
    ASSERT_EQ(1, f.ReadLine(line, FileObject::WIDE_LINES, 0));
    EXPECT_STREQ(L"z", line.Buffer());
}

TEST_F(FileObjectTest, ModesSeekTruncateAndMap) {
    FileObject f;
    std::wstring file = temp.Path() + L"\\modes.bin";
    EXPECT_EQ(0, f.Open(file.c_str(), static_cast<FileObject::Mode>(6), 0, 0));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(0, f.Open(file.c_str(), FileObject::READ, 0, 0)) << "mode 0 needs an existing file";
    ASSERT_EQ(1, f.Open(file.c_str(), FileObject::READ_WRITE_ALWAYS, 0, 0));
    ASSERT_EQ(1, f.Write(10, nullptr, "0123456789"));
    EXPECT_EQ(10u, f.Size());
    ASSERT_EQ(1, f.Seek(FILE_BEGIN, 4, 0));
    ASSERT_EQ(1, f.Truncate());
    EXPECT_EQ(4u, f.Size());
    EXPECT_EQ(1, f.Flush());
    char* view = (char*)f.Map(0, 0, 4, 0, nullptr, 0);
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(0, memcmp(view, "0123", 4));
    view[0] = 'X';
    EXPECT_EQ(1, f.Close());
    EXPECT_EQ(0, f.Close());
    EXPECT_EQ(0, f.Seek(FILE_BEGIN, 0, 0));

    ASSERT_EQ(1, f.Open(file.c_str(), FileObject::READ, 0, FILE_SHARE_READ));
    char back[4];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(f.Handle(), back, 4, &read, nullptr));
    EXPECT_EQ(0, memcmp(back, "X123", 4));
    // A failed mapping closes the whole object.
    EXPECT_EQ(nullptr, f.Map(0, 0, 0, 0, L"VeltrixNoSuchMapping", FILE_MAP_READ));
    EXPECT_FALSE(f.IsOpen());
}

namespace {

int RecordErrorMode(const WIN32_FIND_DATAW&, void* context) {
    *static_cast<UINT*>(context) = GetErrorMode();
    return 1;
}

} // namespace

// The scan enumerates on several threads at once: the process's error mode must neither change under
// the other threads nor lose the flags others set.
TEST_F(FilesTest, FindFilesLeavesTheProcessErrorModeAsItWas) {
    temp.Write(L"a.lnk", "1");
    UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    UINT during = 0;
    EXPECT_EQ(1, FindFiles((temp.Path() + L"\\*.*").c_str(), RecordErrorMode, &during));
    UINT after = GetErrorMode();
    SetErrorMode(before);
    EXPECT_TRUE(during & SEM_NOGPFAULTERRORBOX) << "the process's own flags were replaced";
    EXPECT_TRUE(during & SEM_FAILCRITICALERRORS);
    EXPECT_EQ((UINT)(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS), after);
}
