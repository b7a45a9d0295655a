// The dialog controls on a real dialog: the label's font fitting, its events, the divider's geometry, the
// SysLink's two kinds of links and the hyperlink's browser settings, drawing, hover and clicks.
#include "framework/DialogBase.h"
#include "framework/DividerControl.h"
#include "framework/HyperlinkControl.h"
#include "framework/LabelControl.h"
#include "framework/SysLinkControl.h"
#include "fixtures/TestDialogs.h"
#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

HINSTANCE Module() {
    return GetModuleHandleW(nullptr);
}

// Records the commands its controls send.
class PlainDialog : public DialogBase {
public:
    std::vector<int> commands;

protected:
    int OnCommand(int id, WPARAM wParam, LPARAM lParam) override {
        commands.push_back(id);
        return DialogBase::OnCommand(id, wParam, lParam);
    }
};

// A browser setting of the test prefix's user, put back as it was when the test ends.
class BrowserSetting {
public:
    BrowserSetting(const wchar_t* key, const wchar_t* valueName, const wchar_t* value) : name(valueName) {
        path = std::wstring(L"Software\\Microsoft\\Internet Explorer\\") + key;
        wchar_t buffer[260] = L"";
        DWORD size = sizeof(buffer);
        had = RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size) ==
              ERROR_SUCCESS;
        old = buffer;
        Set(value);
    }
    ~BrowserSetting() {
        if (had)
            Set(old.c_str());
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str());
    }
    void Set(const wchar_t* value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), REG_SZ, value,
                        (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
    }

private:
    std::wstring path, name, old;
    bool had = false;
};

} // namespace

class Controls : public ::testing::Test {
protected:
    // One dialog for all the tests: under Wine without a window manager, destroying a shown window waits
    // about two seconds for the display.
    static void SetUpTestSuite() {
        dialog = new PlainDialog;
        dialog->Create(Module(), IDD_TEST_SANS_SERIF, 0, nullptr);
        SetWindowPos(dialog->Handle(), HWND_TOP, 40, 40, 640, 420, SWP_SHOWWINDOW);
    }
    static void TearDownTestSuite() {
        dialog->EndDialogWith(0);
        delete dialog;
        dialog = nullptr;
    }
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NE(nullptr, dialog->Handle());
        SetForegroundWindow(dialog->Handle());
        Pump(100);
    }
    void TearDown() override {
        for (HWND control : added)
            DestroyWindow(control);
        CoUninitialize();
    }
    // A static in pixels, below the template's own controls, in the dialog's font.
    HWND AddStatic(const wchar_t* text, DWORD style, int x, int y, int width, int height) {
        HWND control = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                       dialog->Handle(), (HMENU)(INT_PTR)(3000 + nextId++), Module(), nullptr);
        added.push_back(control);
        SendMessageW(control, WM_SETFONT, SendMessageW(dialog->Handle(), WM_GETFONT, 0, 0), TRUE);
        return control;
    }
    // Runs the dialog's messages as its loop would, for a while.
    void Pump(DWORD milliseconds) {
        DWORD start = GetTickCount();
        do {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!IsDialogMessageW(dialog->Handle(), &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            Sleep(10);
        } while (GetTickCount() - start < milliseconds);
    }
    // The mouse as the user moves it: to a point of a window, then the system's move input there.
    void MouseTo(HWND window, int x, int y) {
        POINT point = {x, y};
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
        Mouse(MOUSEEVENTF_MOVE);
    }
    static void Mouse(DWORD flags) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flags;
        SendInput(1, &input, sizeof(input));
    }
    static void Key(WORD key, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        SendInput(1, &input, sizeof(input));
    }
    static LONG FontHeight(HFONT font) {
        LOGFONTW info = {};
        GetObjectW(font, sizeof(info), &info);
        return info.lfHeight;
    }
    // Whether some row of the control holds a run of the colour at least `length` pixels long.
    static bool HasLine(HWND control, COLORREF color, int length) {
        InvalidateRect(control, nullptr, FALSE);
        UpdateWindow(control);
        RECT client;
        GetClientRect(control, &client);
        HDC dc = GetDC(control);
        bool found = false;
        for (int y = 0; y < client.bottom && !found; y++) {
            int run = 0;
            for (int x = 0; x < client.right && !found; x++) {
                run = GetPixel(dc, x, y) == color ? run + 1 : 0;
                found = run >= length;
            }
        }
        ReleaseDC(control, dc);
        return found;
    }
    static int CountPixels(HWND control, COLORREF color) {
        InvalidateRect(control, nullptr, FALSE);
        UpdateWindow(control);
        RECT client;
        GetClientRect(control, &client);
        HDC dc = GetDC(control);
        int count = 0;
        for (int y = 0; y < client.bottom; y++)
            for (int x = 0; x < client.right; x++)
                count += GetPixel(dc, x, y) == color;
        ReleaseDC(control, dc);
        return count;
    }

    static PlainDialog* dialog;
    std::vector<HWND> added;
    int nextId = 0;
};

PlainDialog* Controls::dialog = nullptr;

TEST_F(Controls, LabelFitsItsFontToTheControlAndRefitsForNewText) {
    HWND control = AddStatic(L"Veltrix", 0, 10, 160, 300, 29);
    LabelControl label;
    ASSERT_EQ(1, label.Attach(control, L"Verdana", 100, RGB(0x40, 0x40, 0x40), RGB(0x40, 0x40, 0x40), LABEL_FIT, 0,
                              nullptr, nullptr));
    // The caption moved into the label, which still reports it.
    wchar_t caption[32] = L"";
    GetWindowTextW(control, caption, 32);
    EXPECT_STREQ(L"Veltrix", caption);
    LONG shortHeight = FontHeight(label.Font());
    EXPECT_GT(shortHeight, 4);
    EXPECT_LT(shortHeight, 29);
    EXPECT_LT(label.TextSize().cx, 300);
    EXPECT_LT(label.TextSize().cy, 29);
    EXPECT_TRUE(HasLine(control, RGB(0x40, 0x40, 0x40), 2)) << "the name is drawn in its colour";

    // The longer the text, the smaller the font; never below 4.
    label.Detach();
    SetWindowTextW(control, L"Veltrix Veltrix Veltrix Veltrix");
    label.Attach(control, L"Verdana", 100, 0, 0, LABEL_FIT, 0, nullptr, nullptr);
    LONG longHeight = FontHeight(label.Font());
    EXPECT_LT(longHeight, shortHeight);
    EXPECT_LT(label.TextSize().cx, 300);
    label.Detach();
    SetWindowTextW(control, std::wstring(400, L'W').c_str());
    label.Attach(control, L"Verdana", 100, 0, 0, LABEL_FIT, 0, nullptr, nullptr);
    EXPECT_EQ(4, FontHeight(label.Font()));

    // With refitting on text changes, a shorter text grows the font back.
    label.Detach();
    SetWindowTextW(control, std::wstring(400, L'W').c_str());
    label.Attach(control, nullptr, 40, 0, 0, LABEL_FIT | LABEL_REFIT_ON_TEXT, 0, nullptr, nullptr);
    EXPECT_EQ(4, FontHeight(label.Font()));
    SetWindowTextW(control, L"Short");
    EXPECT_GT(FontHeight(label.Font()), 4);
    EXPECT_LT(label.TextSize().cy, 29);
    LabelControl whole;
    HWND other = AddStatic(std::wstring(200, L'W').c_str(), 0, 10, 200, 300, 29);
    whole.Attach(other, nullptr, 0, 0, 0, LABEL_REFIT_ON_TEXT, 0, nullptr, nullptr);
    LONG small = FontHeight(whole.Font());
    SetWindowTextW(other, L"Hi");
    EXPECT_GT(FontHeight(whole.Font()), small);
    // The face list gives the first installed face; none installed falls back to Verdana.
    whole.SetFaceList(L"No Such Face, Neither This", LabelControl::NO_REPAINT);
    EXPECT_STREQ(L"Verdana", whole.FaceName());
}

TEST_F(Controls, InteractiveLabelReportsEnterAtKeyDownAndAClickOnlyWhenReleasedOverIt) {
    HWND control = AddStatic(L"Press me", WS_TABSTOP, 10, 160, 200, 24);
    static std::vector<int> events;
    events.clear();
    LabelControl label;
    ASSERT_EQ(1, label.Attach(
                     control, nullptr, 0, RGB(0, 0, 255), RGB(255, 0, 0),
                     LABEL_INTERACTIVE | LABEL_WHOLE_CLIENT | LABEL_COMMAND, 0,
                     [](int event, int, void*, HWND) { events.push_back(event); }, nullptr));
    EXPECT_NE(0, GetWindowLongPtrW(control, GWL_STYLE) & SS_NOTIFY);
    SetFocus(control);
    Pump(50);
    dialog->commands.clear();
    Key(VK_RETURN, false);
    Pump(200);
    EXPECT_EQ(std::vector<int>{LABEL_EVENT_ENTER}, events) << "Enter counts when pressed";
    Key(VK_RETURN, true);
    Pump(100);
    EXPECT_EQ(1u, events.size());
    // Enter is a click for the dialog too; any other key is none.
    int id = GetDlgCtrlID(control);
    EXPECT_EQ(std::vector<int>{id}, dialog->commands);
    Key('A', false);
    Key('A', true);
    Pump(100);
    EXPECT_EQ(std::vector<int>{id}, dialog->commands);
    EXPECT_EQ(1u, events.size());

    // Pressed on the label and released elsewhere: no click.
    events.clear();
    MouseTo(control, 20, 10);
    Pump(150);
    EXPECT_NE(0u, label.State() & STATIC_HOVERING);
    EXPECT_TRUE(HasLine(control, RGB(255, 0, 0), 2)) << "hovering shows the hover colour";
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Pump(100);
    MouseTo(dialog->Handle(), 600, 300);
    Pump(300);
    Mouse(MOUSEEVENTF_LEFTUP);
    Pump(200);
    EXPECT_EQ(std::vector<int>{LABEL_EVENT_PRESSED}, events);
    EXPECT_EQ(0u, label.State() & STATIC_HOVERING) << "leaving was noticed";

    // Pressed and released over it: a click.
    events.clear();
    MouseTo(control, 20, 10);
    Pump(150);
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Pump(100);
    Mouse(MOUSEEVENTF_LEFTUP);
    Pump(200);
    EXPECT_EQ((std::vector<int>{LABEL_EVENT_PRESSED, LABEL_EVENT_CLICKED}), events);
}

TEST_F(Controls, DividerBecomesAFivePixelBandAroundTheLine) {
    HWND line = AddStatic(L"", 0, 20, 200, 200, 1);
    HWND column = AddStatic(L"", 0, 400, 160, 1, 100);
    DividerControl horizontal, vertical;
    ASSERT_EQ(1, horizontal.Attach(line));
    ASSERT_EQ(1, vertical.Attach(column));
    RECT area;
    GetWindowRect(line, &area);
    MapWindowPoints(nullptr, dialog->Handle(), reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(18, area.left);
    EXPECT_EQ(199, area.top);
    EXPECT_EQ(203, area.right - area.left);
    EXPECT_EQ(5, area.bottom - area.top);
    EXPECT_TRUE(horizontal.IsHorizontal());
    GetWindowRect(column, &area);
    MapWindowPoints(nullptr, dialog->Handle(), reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(399, area.left);
    EXPECT_EQ(158, area.top);
    EXPECT_EQ(5, area.right - area.left);
    EXPECT_EQ(103, area.bottom - area.top);
    EXPECT_FALSE(vertical.IsHorizontal());
    EXPECT_NE(0, GetWindowLongPtrW(line, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    // Themed or etched, the line lies where the thin static was (the band's third row), across its width.
    InvalidateRect(line, nullptr, FALSE);
    UpdateWindow(line);
    HDC dc = GetDC(line);
    COLORREF background = GetPixel(dc, 100, 0);
    int drawn[5] = {};
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 203; x++)
            drawn[y] += GetPixel(dc, x, y) != background;
    ReleaseDC(line, dc);
    EXPECT_GT(drawn[2], 150);
    EXPECT_EQ(0, drawn[0]);
    EXPECT_EQ(0, drawn[4]);
}

TEST_F(Controls, SysLinkOpensAnAddressAndCallsBackForAnId) {
    TempFolder folder{L"syslink"};
    std::wstring marker = folder.Path() + L"\\opened.txt", shortcut = folder.Path() + L"\\open.lnk";
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring markerExe = program;
    markerExe = markerExe.substr(0, markerExe.rfind(L'\\') + 1) + L"marker.exe";
    ASSERT_TRUE(MakeShortcut(shortcut, markerExe, L"\"" + marker + L"\""));

    static std::vector<std::wstring> calls;
    calls.clear();
    SysLinkCallback record = [](int index, const wchar_t* id, void*) {
        calls.push_back(std::to_wstring(index) + L":" + id);
    };
    SysLinkControl withAddress, withId;
    ASSERT_EQ(1, withAddress.Create(dialog->Handle(), 10, 160, 200, 20,
                                    (L"<a href=\"" + shortcut + L"\">open it</a>").c_str(), 0, record, nullptr));
    // A second link on the same dialog: the first one's hook on the dialog serves it too.
    ASSERT_EQ(1, withId.Create(dialog->Handle(), 5, 100, 100, 10, L"See <a id=\"second\">this</a>",
                               SYSLINK_DIALOG_UNITS, record, nullptr));
    SetFocus(withId.Handle());
    SendMessageW(withId.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    Pump(100);
    EXPECT_EQ(std::vector<std::wstring>{L"0:second"}, calls);

    SetFocus(withAddress.Handle());
    SendMessageW(withAddress.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    Pump(100);
    EXPECT_EQ(1u, calls.size()) << "a link with an address goes to the shell, not to the callback";
    DWORD start = GetTickCount();
    while (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 10000)
        Pump(100);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str())) << "the address was not opened";

    // The link that hooked the dialog goes first; the other keeps working.
    withAddress.Destroy();
    SetFocus(withId.Handle());
    SendMessageW(withId.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    Pump(100);
    EXPECT_EQ((std::vector<std::wstring>{L"0:second", L"0:second"}), calls);
    Pump(1000); // the marker program ends before its folder goes
}

TEST_F(Controls, HyperlinkTakesTheBrowserColoursAndUnderlineRule) {
    BrowserSetting color(L"Settings", L"Anchor Color", L"0,0,255");
    BrowserSetting hoverColor(L"Settings", L"Use Anchor Hover Color", L"no");
    BrowserSetting underline(L"Main", L"Anchor Underline", L"hover");
    HWND control = AddStatic(L"", 0, 10, 160, 300, 24);
    HyperlinkControl link;
    ASSERT_EQ(1, link.Attach(control, L"link text here", nullptr, 0, 0));
    EXPECT_EQ(RGB(0, 0, 255), link.LinkColor());
    EXPECT_EQ(UNDERLINE_HOVER, link.UnderlineMode());
    EXPECT_EQ(0u, link.Options() & LINK_HOVER_COLOR);
    EXPECT_NE(0u, link.Options() & LINK_NO_FOCUS_RECT) << "no WS_TABSTOP, no focus rectangle";
    SIZE text = link.TextSize();
    ASSERT_GT(text.cx, 20);
    EXPECT_GT(CountPixels(control, RGB(0, 0, 255)), 20) << "pure blue text";
    EXPECT_FALSE(HasLine(control, RGB(0, 0, 255), text.cx - 2)) << "no underline before the mouse comes";

    MouseTo(control, text.cx / 2, 5);
    Pump(150);
    EXPECT_NE(0u, link.State() & STATIC_HOVERING);
    EXPECT_TRUE(HasLine(control, RGB(0, 0, 255), text.cx - 2)) << "underlined while hovering";
    // Beside a left-aligned text the mouse is not over the link.
    MouseTo(control, text.cx + 10, 5);
    Pump(150);
    EXPECT_EQ(0u, link.State() & STATIC_HOVERING);

    // Two numbers, or parts above 255, are no colour: the default stays.
    color.Set(L"0,255");
    link.Attach(control, L"link text here", nullptr, 0, 0);
    EXPECT_EQ(RGB(0, 102, 204), link.LinkColor());
    color.Set(L"300,0,0");
    underline.Set(L"no");
    link.Attach(control, L"link text here", nullptr, 0, 0);
    EXPECT_EQ(RGB(0, 102, 204), link.LinkColor());
    EXPECT_EQ(UNDERLINE_NEVER, link.UnderlineMode());

    // A text far too large for its control shrinks its font, never below 4.
    HWND tiny = AddStatic(L"", 0, 10, 200, 20, 29);
    HyperlinkControl crowded;
    crowded.Attach(tiny, std::wstring(100, L'W').c_str(), nullptr, 0, 0);
    EXPECT_EQ(4, FontHeight(crowded.UnderlinedFont()));
    EXPECT_EQ(4, FontHeight(crowded.PlainFont()));
}

TEST_F(Controls, MaskedHyperlinkShowsBulletsForVerdanaAndReportsTheRealCaption) {
    for (const wchar_t* face : {L"Verdana", L"Tahoma"}) {
        LOGFONTW font = {};
        font.lfHeight = -12;
        lstrcpyW(font.lfFaceName, face);
        HFONT own = CreateFontIndirectW(&font);
        HWND control = AddStatic(L"", 0, 10, 160, 300, 24);
        SendMessageW(control, WM_SETFONT, (WPARAM)own, FALSE);
        HyperlinkControl link;
        ASSERT_EQ(1, link.Attach(control, L"secret", nullptr, 0, LINK_OWN_FONT | LINK_MASKED));
        std::wstring expected(6, face[0] == L'V' ? (wchar_t)0x2022 : L'*');
        EXPECT_EQ(expected, std::wstring(link.DisplayText()));
        wchar_t caption[32] = L"";
        EXPECT_EQ(6, GetWindowTextW(control, caption, 32));
        EXPECT_STREQ(L"secret", caption);
        EXPECT_EQ(3, (int)SendMessageW(control, WM_GETTEXT, 4, (LPARAM)caption));
        EXPECT_STREQ(L"sec", caption);
        caption[0] = L'x';
        EXPECT_EQ(0, (int)SendMessageW(control, WM_GETTEXT, 0, (LPARAM)caption)) << "no room, nothing written";
        EXPECT_EQ(L'x', caption[0]);
        link.Detach();
        DestroyWindow(control);
        DeleteObject(own);
    }
}

TEST_F(Controls, HyperlinkOpensOnlyWhenPressedAndReleasedOverIt) {
    TempFolder folder{L"hyperlink"};
    std::wstring marker = folder.Path() + L"\\opened.txt", shortcut = folder.Path() + L"\\open.lnk";
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring markerExe = program;
    markerExe = markerExe.substr(0, markerExe.rfind(L'\\') + 1) + L"marker.exe";
    ASSERT_TRUE(MakeShortcut(shortcut, markerExe, L"\"" + marker + L"\""));
    HWND control = AddStatic(L"", 0, 10, 160, 300, 24);
    HyperlinkControl link;
    ASSERT_EQ(1, link.Attach(control, L"open the marker", shortcut.c_str(), 0, LINK_OWN_FONT));
    for (int polling = 0; polling < 2; polling++) {
        // Without TrackMouseEvent the leave is found by polling the cursor.
        if (polling)
            link.Hover().UsePolling();
        MouseTo(control, 10, 8);
        Pump(150);
        ASSERT_NE(0u, link.State() & STATIC_HOVERING);
        EXPECT_EQ(polling == 1, link.Hover().IsPolling() == 1);
        Mouse(MOUSEEVENTF_LEFTDOWN);
        Pump(100);
        MouseTo(dialog->Handle(), 600, 300);
        Pump(400);
        EXPECT_EQ(0u, link.State() & STATIC_HOVERING) << "leaving was noticed, polling " << polling;
        Mouse(MOUSEEVENTF_LEFTUP);
        Pump(1500);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str())) << "released elsewhere, nothing opens";
    }
    MouseTo(control, 10, 8);
    Pump(150);
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Pump(100);
    Mouse(MOUSEEVENTF_LEFTUP);
    DWORD start = GetTickCount();
    while (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 10000)
        Pump(100);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str())) << "a click opens the address";
    Pump(1000);
}
