// The shell's context menu of the real Veltrix.exe's entries: opened with a right click over the open
// Start menu, its verbs run by the shell, never the entry itself.
#include "VeltrixProcess.h"

#include "BoxAnswerer.h"
#include "Shortcut.h"
#include "StartedProcesses.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The visible menus of the process, as many as there are, the one opened last first.
std::vector<HWND> OpenMenus(DWORD process) {
    std::vector<HWND> menus;
    for (HWND window : StartedProcesses::Windows(process))
        if (VeltrixProcess::ClassName(window) == L"#32768")
            menus.push_back(window);
    return menus;
}

// Waits until the process shows that many menus; the one opened last, or null.
HWND WaitForMenus(DWORD process, size_t count, DWORD milliseconds) {
    DWORD start = GetTickCount();
    do {
        std::vector<HWND> menus = OpenMenus(process);
        if (menus.size() == count)
            return menus.front(); // the topmost, the one opened last
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

std::wstring WithoutMnemonics(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
    return text;
}

// A right click on the first item of the menu in that window, with the mouse, as a user would.
void RightClickFirstItem(HWND popup) {
    RECT area;
    GetWindowRect(popup, &area);
    SetCursorPos(area.left + 40, area.top + 12);
    Sleep(200);
    mouse_event(MOUSEEVENTF_RIGHTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_RIGHTUP, 0, 0, 0, 0);
}

} // namespace

class ContextMenuE2E : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Alpha.lnk", L"C:\\windows\\notepad.exe"));
        ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Beta.lnk", L"C:\\windows\\notepad.exe"));
    }
    void TearDown() override { CoUninitialize(); }

    // A once-mode run with the shell's context menu of the first entry open; its items.
    std::vector<std::wstring> OpenContextMenu(VeltrixProcess& veltrix) {
        if (!veltrix.Start(L"-r \"" + root.Path() + L"\""))
            return {};
        HWND startMenu = veltrix.WaitForMenu(15000);
        if (!startMenu)
            return {};
        RightClickFirstItem(startMenu);
        HWND context = WaitForMenus(veltrix.Id(), 2, 10000);
        std::vector<std::wstring> items;
        for (const std::wstring& item : context ? VeltrixProcess::MenuItems(context) : items)
            items.push_back(WithoutMnemonics(item));
        return items;
    }

    TempFolder root{L"e2e-context"};
};

TEST_F(ContextMenuE2E, ARightClickShowsTheShellsVerbsAndEscapeClosesOnlyThem) {
    VeltrixProcess veltrix;
    std::vector<std::wstring> items = OpenContextMenu(veltrix);
    ASSERT_FALSE(items.empty()) << "no context menu over the Start menu";
    for (const wchar_t* verb : {L"Open", L"Delete", L"Rename", L"Properties"})
        EXPECT_NE(items.end(), std::find(items.begin(), items.end(), verb)) << "the shell's verb is missing";

    VeltrixProcess::PressKey(VK_ESCAPE);
    HWND startMenu = WaitForMenus(veltrix.Id(), 1, 5000);
    ASSERT_NE(nullptr, startMenu) << "Escape closed the Start menu too";
    Sleep(1500);
    EXPECT_TRUE(veltrix.IsRunning());
    std::vector<std::wstring> menu = VeltrixProcess::MenuItems(startMenu);
    ASSERT_GE(menu.size(), 2u);
    EXPECT_EQ(L"Alpha", menu[0]);
    VeltrixProcess::PressKey(VK_ESCAPE);
    EXPECT_TRUE(veltrix.WaitForExit(5000));
}

TEST_F(ContextMenuE2E, DeleteRemovesTheShortcutWithoutStartingItAndTheNextMenuLacksIt) {
    VeltrixProcess veltrix;
    ASSERT_FALSE(OpenContextMenu(veltrix).empty());
    {
        // The shell asks before it deletes (Wine sends the file to the trash); Yes.
        BoxAnswerer confirm(L"Confirm file deletion", {IDYES});
        BoxAnswerer confirmOther(L"Confirm deletion", {IDYES});
        VeltrixProcess::TypeCharacter(L'd');
        DWORD start = GetTickCount();
        while (GetFileAttributesW((root.Path() + L"\\Alpha.lnk").c_str()) != INVALID_FILE_ATTRIBUTES &&
               GetTickCount() - start < 10000)
            Sleep(100);
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((root.Path() + L"\\Alpha.lnk").c_str()));
    EXPECT_TRUE(veltrix.WaitForExit(10000)) << "the menu stayed open after the verb";
    EXPECT_EQ(nullptr, FindWindowW(L"Notepad", nullptr)) << "the entry was started too";

    VeltrixProcess next;
    ASSERT_TRUE(next.Start(L"-r \"" + root.Path() + L"\""));
    HWND menu = next.WaitForMenu(15000);
    ASSERT_NE(nullptr, menu);
    std::vector<std::wstring> items = VeltrixProcess::MenuItems(menu);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(L"Beta", items[0]);
    VeltrixProcess::PressKey(VK_ESCAPE);
    EXPECT_TRUE(next.WaitForExit(5000));
}

TEST_F(ContextMenuE2E, PropertiesOpensTheShellsSheetOfThatFileAndTheProgramWaitsForIt) {
    VeltrixProcess veltrix;
    ASSERT_FALSE(OpenContextMenu(veltrix).empty());
    VeltrixProcess::TypeCharacter(L'p');
    HWND sheet = veltrix.WaitForWindow(L"#32770", 10000);
    ASSERT_NE(nullptr, sheet) << "no property sheet";
    wchar_t title[256] = L"";
    GetWindowTextW(sheet, title, 256);
    EXPECT_NE(nullptr, wcsstr(title, L"Alpha")) << "the sheet is not the entry's";
    Sleep(2000);
    EXPECT_TRUE(veltrix.IsRunning()) << "once mode ended under the open sheet";
    PostMessageW(sheet, WM_CLOSE, 0, 0);
    EXPECT_TRUE(veltrix.WaitForExit(10000)) << "still running after the sheet closed";
}

// A verb that fails (Wine has no program for Explore) shows the shell's box over no menu of ours, and the
// program ends once the box is answered. The folder's own submenu is open under the mouse meanwhile.
TEST_F(ContextMenuE2E, AChosenVerbRunsOnceTheMenusHaveClosed) {
    ASSERT_TRUE(CreateDirectoryW((root.Path() + L"\\Accessories").c_str(), nullptr));
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Accessories\\Gamma.lnk", L"C:\\windows\\notepad.exe"));
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-r \"" + root.Path() + L"\""));
    HWND startMenu = veltrix.WaitForMenu(15000);
    ASSERT_NE(nullptr, startMenu);
    RightClickFirstItem(startMenu);
    std::vector<std::wstring> items;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(100)) {
        std::vector<HWND> menus = OpenMenus(veltrix.Id());
        items.clear();
        for (const std::wstring& item : menus.empty() ? items : VeltrixProcess::MenuItems(menus.front()))
            items.push_back(WithoutMnemonics(item));
        if (std::find(items.begin(), items.end(), L"Explore") != items.end())
            break;
    }
    auto explore = std::find(items.begin(), items.end(), L"Explore");
    ASSERT_NE(items.end(), explore) << "no Explore in the folder's context menu";
    // Down selects the first item, then each next one; separators are passed over.
    for (auto item = items.begin(); item <= explore; item++)
        if (*item != L"-")
            VeltrixProcess::PressKey(VK_DOWN);
    VeltrixProcess::PressKey(VK_RETURN);
    HWND box = veltrix.WaitForWindow(L"#32770", 10000);
    ASSERT_NE(nullptr, box) << "the verb showed nothing";
    EXPECT_TRUE(OpenMenus(veltrix.Id()).empty()) << "the Start menu stayed open under the verb's box";
    PostMessageW(box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(veltrix.WaitForExit(10000)) << "still running after the box was answered";
}
