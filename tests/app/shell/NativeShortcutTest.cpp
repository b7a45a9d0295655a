// A 32-bit Veltrix on 64-bit Windows, whose shell looks for a shortcut's System32 program and icon in
// SysWOW64: the marker program is put into the 64-bit System32 only, through the Sysnative alias.
#include "app/cache/IconHandle.h"
#include "app/launch/Launcher.h"
#include "app/shell/NativeShortcut.h"
#include "app/shell/ShellFile.h"
#include "sysinfo/OsVersion.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

// Counts and closes the boxes this thread opens (the shell's error box waits for the user when a launch
// finds no program), so that a failed launch fails the test instead of hanging it.
static int boxes = 0;
static LRESULT CALLBACK CloseBoxes(int code, WPARAM window, LPARAM data) {
    if (code == HCBT_ACTIVATE && ++boxes)
        PostMessageW((HWND)window, WM_COMMAND, IDCANCEL, 0);
    return CallNextHookEx(nullptr, code, window, data);
}

class NativeShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        if (!IsWow64())
            GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected";
        wchar_t windows[MAX_PATH] = L"";
        GetSystemWindowsDirectoryW(windows, MAX_PATH);
        std::wstring name = L"\\veltrix-marker-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
        target = windows + (L"\\System32" + name);
        placed = windows + (L"\\Sysnative" + name);
        ASSERT_TRUE(CopyFileW((TestProgramFolder() + L"marker.exe").c_str(), placed.c_str(), FALSE));
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(target.c_str())) << "SysWOW64 has it too";
    }
    void TearDown() override {
        DeleteFileW(placed.c_str());
        CoUninitialize();
    }
    TempFolder root{L"native-shortcut"};
    std::wstring placed, target, link = root.Path() + L"\\Tool.lnk", marker = root.Path() + L"\\ran.txt";
};

TEST_F(NativeShortcutTest, AShortcutIntoThe64BitSystemFolderStartsItsProgramAndShowsItsIcon) {
    ASSERT_TRUE(MakeShortcut(link, target, L"\"" + marker + L"\""));
    HHOOK hook = SetWindowsHookExW(WH_CBT, CloseBoxes, nullptr, GetCurrentThreadId());
    EXPECT_EQ(1, Launcher::OpenEntry(link.c_str()));
    EXPECT_TRUE(UnhookWindowsHookEx(hook) && boxes == 0) << "the shell reported an error";
    EXPECT_TRUE(WaitForFile(marker, 10000)) << "the program in the 64-bit system folder did not run";
    WString shown;
    HICON icon = nullptr, expected = nullptr;
    int systemIndex = 0;
    EXPECT_EQ(1, ShellFile::Look(link.c_str(), GetSystemMetrics(SM_CXSMICON), shown, &icon, &systemIndex));
    EXPECT_EQ(-1, systemIndex) << "read from the program itself, not from the system image list";
    EXPECT_STREQ(L"Tool", shown.Buffer()) << "the name is still the shortcut's";
    ExtractIconExW((TestProgramFolder() + L"marker.exe").c_str(), 0, nullptr, &expected, 1);
    std::vector<unsigned char> want, got;
    ASSERT_TRUE(IconHandle(expected, IconHandle::OWNED).ToBlob(want) &&
                IconHandle(icon, IconHandle::OWNED).ToBlob(got));
    EXPECT_EQ(want, got) << "not the marker program's own icon";
}

TEST_F(NativeShortcutTest, ShortcutsOutsideThe64BitFoldersAreLeftToTheShell) {
    // A program this process reaches by its own path, a missing one, and a file that is no shortcut.
    std::wstring missing = root.Path() + L"\\Missing.lnk";
    ASSERT_TRUE(MakeShortcut(link, TestProgramFolder() + L"marker.exe") && MakeShortcut(missing, target + L"-x.exe"));
    NativeShortcut shortcut;
    for (const std::wstring& path : {link, missing, placed})
        EXPECT_EQ(0, shortcut.Read(path.c_str())) << path;
}
