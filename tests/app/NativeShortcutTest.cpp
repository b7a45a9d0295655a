// A 32-bit Veltrix on 64-bit Windows and a shortcut into the 64-bit system folder: the shell in the 32-bit
// process would look for the program and its icon in SysWOW64. The test puts a program (the marker) into
// the 64-bit system folder only, where no 32-bit process sees it by that folder's name, and points a
// shortcut at it as a 64-bit installer would.
#include "app/Launcher.h"
#include "app/IconHandle.h"
#include "app/NativeShortcut.h"
#include "app/ShellFile.h"
#include "sysinfo/OsVersion.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = L"";
    GetSystemWindowsDirectoryW(folder, MAX_PATH);
    std::wstring path = folder;
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::vector<unsigned char> BlobOf(HICON icon) {
    std::vector<unsigned char> blob;
    IconHandle(icon, 0).ToBlob(blob);
    return blob;
}

bool WaitForFile(const std::wstring& path, DWORD milliseconds) {
    for (DWORD start = GetTickCount(); GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; Sleep(50)) {
        if (GetTickCount() - start > milliseconds)
            return false;
    }
    return true;
}

// Closes the shell's error boxes (a launch that finds no program shows one and waits for the user) so that
// a failed launch fails the test instead of hanging it, and counts them.
class ErrorBoxes {
public:
    ErrorBoxes() : thread([this] { Run(); }) {}
    ~ErrorBoxes() {
        done = true;
        thread.join();
    }
    int Seen() const { return seen; }

private:
    static BOOL CALLBACK Close(HWND window, LPARAM self) {
        wchar_t className[16] = L"";
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && GetClassNameW(window, className, 16) &&
            !lstrcmpW(className, L"#32770") && IsWindowVisible(window)) {
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(window, WM_COMMAND, IDOK, 0);
            reinterpret_cast<ErrorBoxes*>(self)->seen++;
        }
        return TRUE;
    }
    void Run() {
        while (!done) {
            EnumWindows(Close, reinterpret_cast<LPARAM>(this));
            Sleep(100);
        }
    }
    std::atomic<bool> done{false};
    std::atomic<int> seen{0};
    std::thread thread;
};

} // namespace

class NativeShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
#ifdef _WIN64
        GTEST_SKIP() << "a 64-bit program sees the 64-bit system folder as it is";
#endif
        if (!IsWow64())
            GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected";
        name = L"veltrix-marker-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
        // Sysnative: the one name by which this 32-bit process reaches the 64-bit system folder.
        placed = WindowsFolder() + L"\\Sysnative\\" + name;
        ASSERT_TRUE(CopyFileW((TestProgramFolder() + L"marker.exe").c_str(), placed.c_str(), FALSE));
        target = WindowsFolder() + L"\\System32\\" + name;
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(target.c_str()))
            << "this process would find the program in SysWOW64 by itself";
    }
    void TearDown() override {
        if (!placed.empty())
            DeleteFileW(placed.c_str());
        CoUninitialize();
    }

    TempFolder root{L"native-shortcut"};
    std::wstring name, placed, target;
};

TEST_F(NativeShortcutTest, AShortcutIntoThe64BitSystemFolderStartsItsProgram) {
    std::wstring marker = root.Path() + L"\\ran.txt";
    std::wstring link = root.Path() + L"\\Tool.lnk";
    ASSERT_TRUE(MakeShortcut(link, target, L"\"" + marker + L"\""));
    ErrorBoxes boxes;
    EXPECT_EQ(1, Launcher::OpenEntry(link.c_str()));
    EXPECT_TRUE(WaitForFile(marker, 10000)) << "the program in the 64-bit system folder did not run";
    EXPECT_EQ(0, boxes.Seen()) << "the shell reported an error";
}

TEST_F(NativeShortcutTest, AShortcutIntoThe64BitSystemFolderShowsItsProgramsIcon) {
    std::wstring link = root.Path() + L"\\Tool.lnk";
    ASSERT_TRUE(MakeShortcut(link, target));
    WString shown;
    HICON icon = nullptr;
    int systemIndex = 0;
    EXPECT_EQ(1, ShellFile::Look(link.c_str(), shown, &icon, &systemIndex));
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(-1, systemIndex) << "read from the program itself, not from the system image list";
    EXPECT_STREQ(L"Tool", shown.Buffer()) << "the name is still the shortcut's";
    HICON expected = nullptr;
    ASSERT_EQ(1u, ExtractIconExW((TestProgramFolder() + L"marker.exe").c_str(), 0, nullptr, &expected, 1));
    EXPECT_EQ(BlobOf(expected), BlobOf(icon)) << "not the marker program's own icon";
    DestroyIcon(expected);
    DestroyIcon(icon);
}

TEST_F(NativeShortcutTest, ShortcutsOutsideThe64BitFoldersAreLeftToTheShell) {
    // A program the 32-bit process reaches by its own path, and a missing one: nothing to map.
    std::wstring link = root.Path() + L"\\Plain.lnk";
    ASSERT_TRUE(MakeShortcut(link, TestProgramFolder() + L"marker.exe"));
    NativeShortcut shortcut;
    EXPECT_EQ(0, shortcut.Read(link.c_str()));
    ASSERT_TRUE(MakeShortcut(link, WindowsFolder() + L"\\System32\\veltrix-nowhere.exe"));
    EXPECT_EQ(0, shortcut.Read(link.c_str()));
    EXPECT_EQ(0, shortcut.Read(placed.c_str())) << "not a shortcut";
}
