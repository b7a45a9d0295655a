// Letters typed into the menus of the real Veltrix.exe, sent from outside as a user types them, judged
// by which program Enter then starts.
#include "TypedMenuTest.h"
#include "VeltrixProcess.h"

#include "Shortcut.h"
#include "StartedProcesses.h"
#include "TempFolder.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <stdlib.h>
#include <tuple>
#include <utility>
#include <vector>
#include <wctype.h>

namespace {

const UINT TrayMessage = WM_APP + 1;

} // namespace

// Each entry launches the marker program, which leaves a file named after the entry; the fixed entries
// follow them in the menu.
class LettersE2E : public TypedMenuTest {
protected:
    LettersE2E()
        : TypedMenuTest(L"e2e-letters", {L"Notepad", L"Network", L"news", L"\u00C4rger", L"&Zoo", L"Games\\Chess",
                                         L"Games\\Mines", L"Micro Alpha", L"Micro Beta", L"\U0001D11E Clef"}) {}

    // A menu started without -s, and its About box by the item's first two letters (A alone reaches Ärger).
    HWND OnceModeAbout(VeltrixProcess& once) {
        if (!once.Start(L"-r \"" + root.Path() + L"\"") || !once.WaitForMenu(15000))
            return nullptr;
        std::wstring about = StringTable().Load(IDS_ABOUT);
        Type(std::wstring(1, (wchar_t)towlower(about[0])) + (wchar_t)towlower(about[1]) + L"\r");
        return once.WaitForWindow(L"#32770", 10000);
    }
    int VisibleMenus() const {
        int menus = 0;
        for (HWND window : StartedProcesses::Windows(veltrix.Id()))
            menus += VeltrixProcess::ClassName(window) == L"#32768";
        return menus;
    }
};

TEST_F(LettersE2E, LettersSelectByPrefixAndEnterLaunches) {
    // The same letter again moves on; more letters extend the prefix; Backspace takes the last one back.
    OpenAndType(L"nn\r");
    EXPECT_EQ(L"news", Started(10000));
    OpenAndType(L"no\r");
    EXPECT_EQ(L"Notepad", Started(10000));
    OpenAndType(L"no\bew\r");
    EXPECT_EQ(L"news", Started(10000));
    OpenAndType(L"z\r");
    EXPECT_EQ(L"&Zoo", Started(10000)) << "the ampersand marks the Z; it is no part of the name typed";
    OpenAndType(L"\u00E4\r");
    EXPECT_EQ(L"\u00C4rger", Started(10000));

    // Whether a finds Ärger is the user's locale's to say: in most, ä is an a with an accent.
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = L"";
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    bool accent =
        CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | NORM_IGNORENONSPACE, L"a", 1, L"\u00E4", 1) == CSTR_EQUAL;
    printf("user locale %ls: a and \u00E4 %s\n", locale, accent ? "differ by an accent" : "are two letters");
    OpenAndType(L"a\r");
    EXPECT_EQ(accent ? L"\u00C4rger" : L"", Started(accent ? 10000 : 1500)) << "elsewhere a reaches About... first";
}

TEST_F(LettersE2E, ALetterSelectsButNeverLaunchesOrOpens) {
    // An entry is selected, not launched; with the search off, a letter that matches nothing leaves it
    // selected.
    DWORD off = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"Search", REG_DWORD,
                                             &off, sizeof(off)));
    OpenAndType(L"nx");
    EXPECT_EQ(L"", Started(1500));
    EXPECT_EQ(1, VisibleMenus());
    Type(L"\r");
    EXPECT_EQ(L"Network", Started(10000));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"Search");

    // A folder is selected, not opened; Right opens it, and letters work in the submenu too.
    OpenAndType(L"g");
    EXPECT_EQ(L"", Started(1500));
    EXPECT_EQ(1, VisibleMenus()) << "the letter opened the folder";
    Type(L">m\r");
    EXPECT_EQ(L"Games\\Mines", Started(10000));

    // The fixed entries take part: E is Exit's letter, and Exit ends the program.
    std::wstring exit = StringTable().Load(IDS_EXIT);
    OpenAndType(std::wstring(1, (wchar_t)towlower(exit[0])) + L"\r");
    DWORD exitCode = 1;
    EXPECT_TRUE(veltrix.WaitForExit(10000, &exitCode)) << "no Exit";
    EXPECT_EQ(0u, exitCode);
}

// A space inside a prefix belongs to it; a character outside the Basic Multilingual Plane arrives as two
// halves and is one character; a lone half matches nothing; an input method's WM_IME_CHAR types too.
TEST_F(LettersE2E, SpacesPairsAndInputMethodsTypeLikeLetters) {
    OpenAndType(L"micro b\r");
    EXPECT_EQ(L"Micro Beta", Started(10000)) << "the space was dropped";
    OpenAndType(L"\U0001D11E\r");
    EXPECT_EQ(L"\U0001D11E Clef", Started(10000));

    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    ASSERT_NE(nullptr, veltrix.WaitForMenu(10000));
    for (wchar_t character : std::wstring(L"net")) {
        PostMessageW(main, WM_IME_CHAR, character, 1);
        Sleep(150);
    }
    Type(L"\r");
    EXPECT_EQ(L"Network", Started(10000));

    OpenAndType(L"\xDD1E\r");
    EXPECT_EQ(L"", Started(1500)) << "a lone second half selected an entry";
    VeltrixProcess::PressKey(VK_ESCAPE);
}

namespace {

// A combination typed as the user types it: the modifiers held around the key.
void PressCombination(WORD combination) {
    BYTE modifiers = HIBYTE(combination);
    if (modifiers & HOTKEYF_CONTROL)
        keybd_event(VK_CONTROL, 0, 0, 0);
    if (modifiers & HOTKEYF_ALT)
        keybd_event(VK_MENU, 0, 0, 0);
    VeltrixProcess::PressKey(LOBYTE(combination));
    if (modifiers & HOTKEYF_ALT)
        keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
    if (modifiers & HOTKEYF_CONTROL)
        keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
}

const WORD CtrlAltHome = (WORD)((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | VK_HOME;

// Waits until some program holds Ctrl+Alt and that key (the resident Veltrix registers it once it runs).
bool WaitUntilHeld(UINT key) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(100)) {
        if (!RegisterHotKey(nullptr, 9, MOD_CONTROL | MOD_ALT, key))
            return true;
        UnregisterHotKey(nullptr, 9);
    }
    return false;
}
const WORD CtrlAltEnd = (WORD)((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | VK_END;

} // namespace

TEST_F(LettersE2E, TheHotkeyOpensTheMenuWithTheKeyboardInItAndClosesItAgain) {
    // Ctrl+Alt+Home, as nothing is set: the menu opens and takes letters at once, without a click.
    ASSERT_TRUE(WaitUntilHeld(VK_HOME)) << "the program holds no Ctrl+Alt+Home";
    PressCombination(CtrlAltHome);
    ASSERT_NE(nullptr, veltrix.WaitForMenu(10000)) << "the hotkey opened no menu";
    Type(L"no\r");
    EXPECT_EQ(L"Notepad", Started(10000));

    // Pressed again while the menu is open, it closes it.
    PressCombination(CtrlAltHome);
    ASSERT_NE(nullptr, veltrix.WaitForMenu(10000));
    Sleep(300);
    PressCombination(CtrlAltHome);
    for (DWORD start = GetTickCount(); VisibleMenus() > 0 && GetTickCount() - start < 5000;)
        Sleep(50);
    EXPECT_EQ(0, VisibleMenus()) << "the second press left the menu open";
    EXPECT_TRUE(veltrix.IsRunning());
}

TEST_F(LettersE2E, TheAboutBoxChangesTheHotkeyAtOnceAndReportsOneAnotherProgramHolds) {
    // Another program holds Ctrl+Alt+End.
    ASSERT_TRUE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, VK_END));
    ASSERT_TRUE(WaitUntilHeld(VK_HOME));
    // About... by its first two letters (A alone reaches Ärger first), then Enter.
    std::wstring about = StringTable().Load(IDS_ABOUT);
    OpenAndType(std::wstring(1, (wchar_t)towlower(about[0])) + (wchar_t)towlower(about[1]) + L"\r");
    HWND box = veltrix.WaitForWindow(L"#32770", 10000);
    ASSERT_NE(nullptr, box) << "no About box";
    HWND control = GetDlgItem(box, IDC_ABOUT_HOTKEY);
    ASSERT_NE(nullptr, control);
    // The control marks the navigation keys as extended ones (not the number pad's).
    const WORD extended = HOTKEYF_EXT << 8;
    EXPECT_EQ(CtrlAltHome | extended, (WORD)SendMessageW(control, HKM_GETHOTKEY, 0, 0));
    wchar_t taken[128] = L"";
    GetDlgItemTextW(box, IDC_ABOUT_HOTKEY_TAKEN, taken, 128);
    EXPECT_STREQ(L"", taken) << "the default combination is free";

    // Typed into the control: the held combination is reported at once.
    SetForegroundWindow(box);
    SendMessageW(box, WM_NEXTDLGCTL, (WPARAM)control, TRUE);
    Sleep(200);
    PressCombination(CtrlAltEnd);
    Sleep(500);
    GetDlgItemTextW(box, IDC_ABOUT_HOTKEY_TAKEN, taken, 128);
    EXPECT_STREQ(StringTable().Load(IDS_HOTKEY_TAKEN), taken);
    EXPECT_TRUE(WaitUntilHeld(VK_HOME)) << "the taken combination cost the working one";
    UnregisterHotKey(nullptr, 7);

    // Ctrl+Alt+Page Down instead, with the box still open: it is the program's, and Home no longer is.
    const WORD CtrlAltNext = (WORD)((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | VK_NEXT;
    PressCombination(CtrlAltNext);
    Sleep(500);
    GetDlgItemTextW(box, IDC_ABOUT_HOTKEY_TAKEN, taken, 128);
    EXPECT_STREQ(L"", taken);
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    for (DWORD start = GetTickCount(); IsWindow(box) && GetTickCount() - start < 5000;)
        Sleep(50);
    Sleep(300);
    PressCombination(CtrlAltHome);
    Sleep(1000);
    EXPECT_EQ(0, VisibleMenus()) << "the old combination still opens the menu";
    PressCombination(CtrlAltNext);
    EXPECT_NE(nullptr, veltrix.WaitForMenu(10000)) << "the new combination opens no menu";
    VeltrixProcess::PressKey(VK_ESCAPE);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        DWORD stored = 0, size = sizeof(stored);
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"Hotkey", nullptr, nullptr, (BYTE*)&stored, &size));
        EXPECT_EQ(CtrlAltNext, stored & ~(DWORD)(HOTKEYF_EXT << 8));
        RegDeleteValueW(key, L"Hotkey");
        RegCloseKey(key);
    }
}

TEST_F(LettersE2E, AOnceModeAboutBoxChangesTheHotkeyOfTheRunningInstanceOrStoresOnlyAFreeOne) {
    ASSERT_TRUE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, VK_END)) << "another program's combination";
    ASSERT_TRUE(WaitUntilHeld(VK_HOME));
    VeltrixProcess once;
    HWND box = OnceModeAbout(once), control = GetDlgItem(box, IDC_ABOUT_HOTKEY);
    ASSERT_NE(nullptr, control) << "no About box";
    // Whether the resident instance still runs; the control's word as typed (0: the box as it opens, on the
    // running instance's own combination; Ctrl+Alt alone: all the control keeps of a combination whose key
    // another program's hotkey took); whether the box calls it taken; the combination then stored and held.
    const WORD ctrlAlt = (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8, next = ctrlAlt | VK_NEXT, up = ctrlAlt | VK_PRIOR;
    for (auto [resident, typed, taken, stored] :
         {std::tuple{true, (WORD)0, false, CtrlAltHome}, std::tuple{true, CtrlAltHome, false, CtrlAltHome},
          std::tuple{true, CtrlAltEnd, true, CtrlAltHome}, std::tuple{true, ctrlAlt, true, CtrlAltHome},
          std::tuple{true, next, false, next}, std::tuple{false, CtrlAltEnd, true, next},
          std::tuple{false, up, false, up}}) {
        if (!resident) {
            PostMessageW(main, WM_CLOSE, 0, 0);
            ASSERT_TRUE(veltrix.WaitForExit(10000));
        }
        SendMessageW(control, HKM_SETHOTKEY, typed, 0);
        if (typed)
            SendMessageTimeoutW(box, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_HOTKEY, EN_CHANGE), (LPARAM)control,
                                SMTO_ABORTIFHUNG, 10000, nullptr);
        wchar_t line[128] = L"";
        GetDlgItemTextW(box, IDC_ABOUT_HOTKEY_TAKEN, line, 128);
        EXPECT_STREQ(taken ? StringTable().Load(IDS_HOTKEY_TAKEN) : L"", line) << typed;
        DWORD setting = CtrlAltHome, size = sizeof(setting);
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"Hotkey", RRF_RT_REG_DWORD, nullptr, &setting,
                     &size);
        EXPECT_EQ(stored, setting & ~(DWORD)(HOTKEYF_EXT << 8)) << typed;
        EXPECT_TRUE(!resident || WaitUntilHeld(LOBYTE(stored))) << typed << ": the running instance does not hold it";
    }
    UnregisterHotKey(nullptr, 7);
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(once.WaitForExit(10000));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"Hotkey");
}

namespace {

// The window the user types into, one of the test's own; it records the letters pressed in it, each with
// a '+' when a Windows key was down with it.
std::wstring received;
LRESULT CALLBACK RecordKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && wParam >= 'A' && wParam <= 'Z')
        received +=
            std::wstring(1, (wchar_t)wParam) + (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0 ? L"+" : L"");
    return DefWindowProcW(window, message, wParam, lParam);
}
struct FocusedWindow {
    FocusedWindow() {
        WNDCLASSW type = {};
        type.lpfnWndProc = RecordKeys;
        type.lpszClassName = L"Target";
        RegisterClassW(&type);
        window = CreateWindowW(L"Target", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, 0, 0, 0, 0);
    }
    ~FocusedWindow() { DestroyWindow(window); }
    void Focus() {
        SetForegroundWindow(window);
        SetFocus(window);
        received.clear();
    }
    // The letters received within that time.
    static std::wstring Pump(DWORD milliseconds) {
        MSG message;
        for (DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(10))
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
        return received;
    }
    HWND window;
};

// Whether a key the tests press, or the one the program sends to keep the shell's menu shut, is still down.
bool AnyKeyDown() {
    for (int key : {VK_LWIN, VK_RWIN, VK_SHIFT, VK_CONTROL, (int)'R', (int)'E', 0xE8})
        if (GetAsyncKeyState(key) < 0)
            return true;
    return false;
}

} // namespace

TEST_F(LettersE2E, TheWindowsKeyAloneOpensTheMenuAndClosesItAgainUnlessTheAboutBoxSwitchedItOff) {
    ASSERT_TRUE(WaitUntilHeld(VK_HOME)) << "the program has not finished starting";
    FocusedWindow target;
    target.Focus();
    VeltrixProcess::PressKey(VK_LWIN);
    ASSERT_NE(nullptr, veltrix.WaitForMenu(10000)) << "the Windows key opened no menu";
    Type(L"no\r");
    EXPECT_EQ(L"Notepad", Started(10000));

    target.Focus();
    VeltrixProcess::PressKey(VK_RWIN);
    ASSERT_NE(nullptr, veltrix.WaitForMenu(10000)) << "the right Windows key opened no menu";
    Sleep(300);
    VeltrixProcess::PressKey(VK_RWIN);
    for (DWORD start = GetTickCount(); VisibleMenus() > 0 && GetTickCount() - start < 5000;)
        Sleep(50);
    EXPECT_EQ(0, VisibleMenus()) << "the second press left the menu open";
    EXPECT_FALSE(AnyKeyDown());

    // Switched off in a once-mode About box, it is off at once in the running instance, and stored.
    VeltrixProcess once;
    HWND box = OnceModeAbout(once), check = GetDlgItem(box, IDC_ABOUT_WINKEY);
    ASSERT_EQ(BST_CHECKED, SendMessageW(check, BM_GETCHECK, 0, 0)) << "no About box, or the switch is off";
    SendMessageW(check, BM_CLICK, 0, 0);
    DWORD setting = 2, size = sizeof(setting);
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"WinKey", RRF_RT_REG_DWORD, nullptr, &setting,
                 &size);
    EXPECT_EQ(0u, setting);
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(once.WaitForExit(10000));
    target.Focus();
    VeltrixProcess::PressKey(VK_LWIN);
    EXPECT_EQ(nullptr, veltrix.WaitForMenu(1500)) << "switched off, the Windows key still opened the menu";
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"WinKey");
}

TEST_F(LettersE2E, WindowsKeyCombinationsReachTheFocusedWindowAndOpenNoMenu) {
    ASSERT_TRUE(WaitUntilHeld(VK_HOME));
    FocusedWindow target;
    // The keys in their order (negative: released), and the letters the focused window must receive.
    const int Win = VK_LWIN, R = 'R', E = 'E';
    for (auto [keys, letters] :
         {std::pair{std::vector{Win, R, -R, -Win}, L"R+"}, std::pair{std::vector{VK_RWIN, E, -E, -VK_RWIN}, L"E+"},
          std::pair{std::vector{VK_SHIFT, Win, -Win, -VK_SHIFT}, L""},
          std::pair{std::vector{VK_CONTROL, Win, -VK_CONTROL, -Win}, L""}}) {
        target.Focus();
        for (int key : keys)
            keybd_event((BYTE)abs(key), 0, key < 0 ? KEYEVENTF_KEYUP : 0, 0);
        EXPECT_EQ(letters, target.Pump(1500)) << keys[0] << "," << keys[1];
        EXPECT_EQ(0, VisibleMenus()) << keys[0] << "," << keys[1] << " opened the menu";
        EXPECT_FALSE(AnyKeyDown()) << keys[0] << "," << keys[1] << " left a key down";
    }
}
