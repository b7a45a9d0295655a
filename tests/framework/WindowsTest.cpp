#include "framework/AppWindow.h"
#include "framework/PopupMenu.h"
#include "framework/TrayIcon.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// An application window that records what reaches it and ends its loop from the first timer.
class RecordingWindow : public AppWindow {
public:
    int creates = 0;
    int commands = 0;
    UINT lastCommandFromMenu = 0;
    int menuCommands = 0;
    WPARAM menuPosition = 0;

    HWND Window() const { return window; }
    void SetMinimum(int width, int height) {
        minWidth = width;
        minHeight = height;
    }
    LRESULT Proc(UINT message, WPARAM wParam, LPARAM lParam) { return WindowProc(message, wParam, lParam); }

protected:
    LRESULT OnCreate() override {
        creates++;
        PostMessageW(window, WM_COMMAND, 77, 0);
        SetTimer(window, 1, 10, nullptr);
        return 0;
    }
    LRESULT OnCommand(WORD id, WPARAM, LPARAM) override {
        commands++;
        lastCommandFromMenu = id;
        return 0;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TIMER) {
            KillTimer(window, 1);
            PostClose();
            return 0;
        }
        if (message == WM_MENUCOMMAND) {
            menuCommands++;
            menuPosition = wParam;
            return 0;
        }
        return AppWindow::WindowProc(message, wParam, lParam);
    }
};

class FailingWindow : public AppWindow {
protected:
    LRESULT OnCreate() override { return -1; }
};

} // namespace

TEST(AppWindow, RunCreatesAHiddenUniquelyNamedWindowAndEndsWithTheQuit) {
    RecordingWindow app;
    EXPECT_EQ(0, app.Run(GetModuleHandleW(nullptr), SW_HIDE, nullptr));
    EXPECT_EQ(1, app.creates);
    EXPECT_EQ(1, app.commands);
    EXPECT_EQ(77u, app.lastCommandFromMenu);
    std::wstring name = app.ClassName().Buffer();
    EXPECT_EQ(0u, name.find(L"Kavrin_{"));
    EXPECT_EQ(45u, name.size());
    EXPECT_EQ(nullptr, AppWindow::Current()) << "forgotten once Run has returned";
    EXPECT_EQ(nullptr, app.Window()) << "the destroyed window's handle is forgotten";

    RecordingWindow second;
    second.Run(GetModuleHandleW(nullptr), SW_HIDE, nullptr);
    EXPECT_NE(name, std::wstring(second.ClassName().Buffer()));

    // A window that refuses to be created ends Run at once, and no application is left current.
    FailingWindow failing;
    EXPECT_EQ(0, failing.Run(GetModuleHandleW(nullptr), SW_HIDE, nullptr));
    EXPECT_EQ(nullptr, AppWindow::Current());
}

TEST(AppWindow, SizeIsClampedToTheMinimumUnlessNoSize) {
    RecordingWindow app;
    app.SetMinimum(300, -1);
    WINDOWPOS position = {};
    position.cx = 100;
    position.cy = 50;
    EXPECT_EQ(0, app.Proc(WM_WINDOWPOSCHANGING, 0, (LPARAM)&position));
    EXPECT_EQ(300, position.cx);
    EXPECT_EQ(50, position.cy) << "no height limit";
    position.cx = 100;
    position.flags = SWP_NOSIZE;
    app.Proc(WM_WINDOWPOSCHANGING, 0, (LPARAM)&position);
    EXPECT_EQ(100, position.cx);
}

TEST(WindowBase, LargeIconsRoundUpToAStandardSize) {
    EXPECT_EQ(16, WindowBase::StandardIconSize(16));
    EXPECT_EQ(32, WindowBase::StandardIconSize(24));
    EXPECT_EQ(48, WindowBase::StandardIconSize(40));
    EXPECT_EQ(256, WindowBase::StandardIconSize(64));
}

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND PlainWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PlainProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VeltrixPlainTestWindow";
    RegisterClassW(&windowClass);
    return CreateWindowW(L"VeltrixPlainTestWindow", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

} // namespace

TEST(PopupMenu, InsertsByPositionOrBeforeACommand) {
    HWND owner = PlainWindow();
    PopupMenu menu;
    ASSERT_EQ(1, menu.Create(GetModuleHandleW(nullptr), owner));
    EXPECT_EQ(1, menu.InsertItem(1000, PopupMenu::BY_POSITION, L"last", 0, 30, 0, PopupMenu::TEXT_ITEM, nullptr));
    EXPECT_EQ(1, menu.InsertItem(0, PopupMenu::BY_POSITION, L"first", 0, 10, 0, PopupMenu::TEXT_ITEM, nullptr));
    EXPECT_EQ(1, menu.InsertItem(30, PopupMenu::BY_COMMAND, L"middle", MFS_DISABLED, 20, 1234, PopupMenu::TEXT_ITEM,
                                 nullptr));
    ASSERT_EQ(3, GetMenuItemCount(menu.Handle()));
    wchar_t text[32];
    GetMenuStringW(menu.Handle(), 1, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(L"middle", text);
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA | MIIM_STATE | MIIM_ID;
    ASSERT_TRUE(GetMenuItemInfoW(menu.Handle(), 1, TRUE, &info));
    EXPECT_EQ(1234u, info.dwItemData);
    EXPECT_EQ(20u, info.wID);
    EXPECT_TRUE(info.fState & MFS_DISABLED);

    ASSERT_EQ(1, menu.NotifyByPosition());
    MENUINFO style = {};
    style.cbSize = sizeof(style);
    style.fMask = MIM_STYLE;
    GetMenuInfo(menu.Handle(), &style);
    EXPECT_TRUE(style.dwStyle & MNS_NOTIFYBYPOS);
    menu.Destroy();
    EXPECT_EQ(nullptr, menu.Handle());
    DestroyWindow(owner);
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override { owner = PlainWindow(); }
    void TearDown() override { DestroyWindow(owner); }
    HWND owner = nullptr;
};

TEST_F(TrayIconTest, AddsCutsTheTipAndComesBackAfterATaskbarRestart) {
    TrayIcon icon;
    std::wstring longTip(200, L't');
    ASSERT_EQ(1, icon.Create(owner, IDI_VELTRIX, WM_APP + 1, longTip.c_str(), GetModuleHandleW(nullptr)));
    EXPECT_EQ(1, icon.IsAdded());
    EXPECT_EQ(127u, wcslen(icon.Data().szTip));
    EXPECT_EQ(0, icon.CreateWithIcon(owner, nullptr, WM_APP + 1, L"again", nullptr)) << "one icon per object";

    // A restarted taskbar has lost the icon, then broadcasts TaskbarCreated.
    NOTIFYICONDATAW gone = {};
    gone.cbSize = sizeof(gone);
    gone.hWnd = owner;
    gone.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    NOTIFYICONDATAW probe = icon.Data();
    probe.cbSize = sizeof(probe);
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe)) << "the icon should be gone";
    SendMessageW(owner, icon.TaskbarCreatedMessage(), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &probe)) << "the icon was not added again";

    EXPECT_EQ(1, icon.Remove());
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe));
    EXPECT_EQ(0, icon.Remove()) << "nothing left to remove";
    // The window's own procedure is back.
    EXPECT_EQ((LONG_PTR)PlainProc, GetWindowLongPtrW(owner, GWLP_WNDPROC));
}

// Moved with its hidden owner to a scale of 144, then 192 dots per inch, and back to the prefix's 96: the
// icon is loaded again at the small-icon size of each, and the shell shows the new one.
TEST_F(TrayIconTest, IsLoadedAgainAtTheSizeOfANewDpi) {
    TrayIcon icon;
    ASSERT_EQ(1, icon.Create(owner, IDI_VELTRIX, WM_APP + 1, L"Veltrix", GetModuleHandleW(nullptr)));
    const int cases[][2] = {{144, 24}, {192, 32}, {96, 16}};
    for (const auto& c : cases) {
        RECT suggested = {0, 0, 100, 100};
        SendMessageW(owner, WM_DPICHANGED, MAKEWPARAM(c[0], c[0]), (LPARAM)&suggested);
        ICONINFO info = {};
        BITMAP bitmap = {};
        ASSERT_TRUE(GetIconInfo(icon.Data().hIcon, &info)) << c[0];
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_EQ(c[1], bitmap.bmWidth) << c[0];
        NOTIFYICONDATAW shown = icon.Data();
        shown.cbSize = sizeof(shown);
        EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &shown)) << c[0];
    }
    EXPECT_EQ(1, icon.Remove());
}
