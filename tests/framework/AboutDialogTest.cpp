// The About box run from the program's resources, on a portable INI file and an update switch that
// records what it is asked.
#include "framework/AboutDialog.h"
#include "framework/StringTable.h"
#include "resources/resource.h"
#include "Pixels.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

const UINT WM_PROBE = WM_APP + 7;

class RecordingSwitch : public UpdateSwitch {
public:
    int FormatLastCheck(WString& text) override { return text.Assign(last.c_str()); }
    int CheckNow() override { return ++checks; }
    int ChecksFailing() override { return 0; }
    std::wstring last;
    int checks = 0;
};

// The About box with a step run once its loop runs.
class ProbeAbout : public AboutDialog {
public:
    using AboutDialog::AboutDialog;
    std::function<void(ProbeAbout&)> onPosted;

protected:
    int OnInitDialog() override {
        PostMessageW(window, WM_PROBE, 0, 0);
        return AboutDialog::OnInitDialog();
    }
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_PROBE && onPosted) {
            onPosted(*this);
            return 1;
        }
        return AboutDialog::DialogProc(message, wParam, lParam);
    }
};

// What the link reported when it was followed, instead of opening a browser.
int followed = 0;
void RecordFollow(int event, const wchar_t*, const wchar_t*) {
    if (event == LINK_ENTER || event == LINK_SPACE)
        followed = event;
}

// Timer procedures: stdcall on 32-bit, which a lambda is not.
void CALLBACK ProbeLater(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    PostMessageW(window, WM_PROBE, 0, 0);
}
void CALLBACK GiveUp(HWND window, UINT, UINT_PTR, DWORD) {
    EndDialog(window, 99);
}

void Press(WORD key) {
    keybd_event((BYTE)key, 0, 0, 0);
    keybd_event((BYTE)key, 0, KEYEVENTF_KEYUP, 0);
}

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[256] = L"";
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

} // namespace

TEST(AboutDialog, SavesTheSwitchInThePortableFileHoweverItClosesAndChecksWhenSwitchedOn) {
    std::wstring name = L"about-test-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    SettingsStore store;
    ASSERT_EQ(1, store.Open(SettingsStore::INI_FILE, nullptr, nullptr, name.c_str()));
    RecordingSwitch updates;
    updates.last = L"06.12.2026 22:40";
    StringTable strings;
    // One load at a time: the table's buffer holds the last text loaded.
    std::wstring boxText = strings.Load(IDS_AUTO_UPDATE);
    boxText += std::wstring(L" [") + strings.Load(IDS_LAST_CHECK) + L": 06.12.2026 22:40]";

    ProbeAbout about(&store, &updates);
    bool checkedAtFirst = false;
    std::wstring shown;
    RECT productClient = {}, productText = {};
    about.onPosted = [&](ProbeAbout& probe) {
        HWND dialog = probe.Handle();
        checkedAtFirst = IsDlgButtonChecked(dialog, IDC_ABOUT_AUTO_UPDATE) == BST_CHECKED;
        shown = ItemText(dialog, IDC_ABOUT_AUTO_UPDATE);
        // The product name in a font as large as its control allows, and no larger.
        HWND product = GetDlgItem(dialog, IDC_ABOUT_PRODUCT);
        GetClientRect(product, &productClient);
        HDC dc = GetDC(product);
        HGDIOBJ previous = SelectObject(dc, probe.ProductLabel().Font());
        DrawTextW(dc, L"Veltrix", -1, &productText, DT_SINGLELINE | DT_CALCRECT);
        SelectObject(dc, previous);
        ReleaseDC(product, dc);
        // Switched off, then the close box.
        SendMessageW(GetDlgItem(dialog, IDC_ABOUT_AUTO_UPDATE), BM_CLICK, 0, 0);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(0, about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0));
    EXPECT_TRUE(checkedAtFirst) << "checks are on when nothing is stored";
    EXPECT_EQ(boxText, shown);
    EXPECT_LT(productText.right, productClient.right);
    EXPECT_LT(productText.bottom, productClient.bottom);
    EXPECT_GT(productText.bottom, productClient.bottom * 2 / 3) << "the name fills its control's height";
    EXPECT_EQ(0u, store.ReadInt(L"AutoUpdate", 7));
    EXPECT_EQ(0, updates.checks) << "switching off asks nothing";

    // Switched on: a check at once; Escape keeps the choice.
    updates.last.clear();
    about.onPosted = [&](ProbeAbout& probe) {
        HWND dialog = probe.Handle();
        checkedAtFirst = IsDlgButtonChecked(dialog, IDC_ABOUT_AUTO_UPDATE) == BST_CHECKED;
        shown = ItemText(dialog, IDC_ABOUT_AUTO_UPDATE);
        SendMessageW(GetDlgItem(dialog, IDC_ABOUT_AUTO_UPDATE), BM_CLICK, 0, 0);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(0, about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0));
    EXPECT_FALSE(checkedAtFirst);
    EXPECT_EQ(std::wstring(strings.Load(IDS_AUTO_UPDATE)), shown) << "no bracket without a last check";
    EXPECT_EQ(1, updates.checks);
    EXPECT_EQ(1u, store.ReadInt(L"AutoUpdate", 7));
    DeleteFileW(store.IniPath());
}

TEST(AboutDialog, TheKeyboardAloneWalksSwitchLinkAndOkAndScreenReadersHearALink) {
    ProbeAbout about(nullptr, nullptr);
    int tabs[4] = {};
    LRESULT defaultId = 0;
    long role = 0, state = 0;
    std::wstring name, value;
    int enterFollowed = 0, spaceFollowed = 0, steps = 0;
    about.onPosted = [&](ProbeAbout& probe) {
        HWND dialog = probe.Handle();
        SetForegroundWindow(dialog);
        const_cast<HyperlinkControl&>(probe.Link()).simpleCallback = RecordFollow;
        HWND tab = GetFocus();
        for (int i = 0; i < 4; i++, tab = GetNextDlgTabItem(dialog, tab, FALSE))
            tabs[i] = GetDlgCtrlID(tab);
        defaultId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
        // Keys typed on the focused link, each looked at once the box has handled it (timers come last).
        SendMessageW(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDC_ABOUT_LINK), TRUE);
        Press(VK_RETURN);
        SetTimer(dialog, 1, 300, ProbeLater);
        probe.onPosted = [&](ProbeAbout& next) {
            HWND box = next.Handle();
            if (steps++ == 0) {
                // Asked once the box is on screen, as a screen reader would.
                IAccessible* accessible = nullptr;
                if (SUCCEEDED(AccessibleObjectFromWindow(GetDlgItem(box, IDC_ABOUT_LINK), OBJID_CLIENT,
                                                         __uuidof(IAccessible), (void**)&accessible))) {
                    VARIANT self;
                    self.vt = VT_I4;
                    self.lVal = CHILDID_SELF;
                    VARIANT result;
                    VariantInit(&result);
                    if (SUCCEEDED(accessible->get_accRole(self, &result)))
                        role = result.lVal;
                    BSTR text = nullptr;
                    if (SUCCEEDED(accessible->get_accName(self, &text)) && text)
                        name = text;
                    SysFreeString(text);
                    text = nullptr;
                    if (SUCCEEDED(accessible->get_accValue(self, &text)) && text)
                        value = text;
                    SysFreeString(text);
                    SendMessageW(box, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(box, IDC_ABOUT_LINK), TRUE);
                    VariantInit(&result);
                    if (SUCCEEDED(accessible->get_accState(self, &result)))
                        state = result.lVal;
                    accessible->Release();
                }
                enterFollowed = followed;
                followed = 0;
                Press(VK_SPACE);
                SetTimer(box, 1, 300, ProbeLater);
                return;
            }
            spaceFollowed = followed;
            // Enter on the switch presses OK; a box that stays open is closed after five seconds.
            SendMessageW(box, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(box, IDC_ABOUT_AUTO_UPDATE), TRUE);
            Press(VK_RETURN);
            SetTimer(box, 2, 5000, GiveUp);
        };
    };
    EXPECT_EQ(0, about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0)) << "Enter on the switch did not press OK";
    EXPECT_EQ(IDC_ABOUT_AUTO_UPDATE, tabs[0]) << "the switch has the focus first";
    EXPECT_EQ(IDC_ABOUT_LINK, tabs[1]);
    EXPECT_EQ(IDC_ABOUT_OK, tabs[2]);
    EXPECT_EQ(IDC_ABOUT_AUTO_UPDATE, tabs[3]) << "and round again";
    EXPECT_EQ(MAKELRESULT(IDC_ABOUT_OK, DC_HASDEFID), defaultId);
    EXPECT_EQ(LINK_ENTER, enterFollowed) << "Enter on the link opens it";
    EXPECT_EQ(LINK_SPACE, spaceFollowed) << "and so does Space";
    EXPECT_EQ(ROLE_SYSTEM_LINK, role);
    EXPECT_EQ(std::wstring(AboutDialog::MakerCaption), name);
    EXPECT_EQ(std::wstring(AboutDialog::MakerAddress), value);
    EXPECT_EQ(STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED, state);

    // Escape closes the box as well.
    about.onPosted = [&](ProbeAbout& probe) {
        SetForegroundWindow(probe.Handle());
        Press(VK_ESCAPE);
        SetTimer(probe.Handle(), 2, 5000, GiveUp);
    };
    EXPECT_NE(99, about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0)) << "Escape left the box open";
}

TEST(AboutDialog, HighContrastPaintsWithTheSystemColours) {
    // Wine never reports high contrast; under Wine this variable stands in for the system's setting.
    SetEnvironmentVariableW(L"VELTRIX_HIGH_CONTRAST", L"1");
    ProbeAbout about(nullptr, nullptr);
    COLORREF link = 0, product = 0;
    about.onPosted = [&](ProbeAbout& probe) {
        link = probe.Link().LinkColor();
        product = probe.ProductLabel().NormalColor();
        PostMessageW(probe.Handle(), WM_CLOSE, 0, 0);
    };
    about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0);
    SetEnvironmentVariableW(L"VELTRIX_HIGH_CONTRAST", nullptr);
    EXPECT_EQ(GetSysColor(COLOR_HOTLIGHT), link);
    EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), product);
}

// Opened in dark mode, opened in light, and switched to dark while open: the client area's mean luminance,
// the check box's box (white in light mode, a dark box with a light tick in dark mode), and in dark mode each
// text's lightest pixels against its darkest.
TEST(AboutDialog, PaintsInTheAppModeWhenOpenedAndWhenSwitched) {
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    DWORD saved = 1, size = sizeof(saved);
    LSTATUS had = RegGetValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &saved, &size);
    struct {
        DWORD atOpen, whileOpen;
        bool dark;
    } cases[] = {{0, 0, true}, {1, 1, false}, {1, 0, true}};
    for (const auto& c : cases) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &c.atOpen, sizeof(DWORD));
        ProbeAbout about(nullptr, nullptr);
        double mean = 0, contrast = 100, box = -1;
        about.onPosted = [&](ProbeAbout& probe) {
            RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &c.whileOpen, sizeof(DWORD));
            SendMessageW(probe.Handle(), WM_SETTINGCHANGE, 0, (LPARAM)L"ImmersiveColorSet");
            SetTimer(probe.Handle(), 1, 500, ProbeLater);
            probe.onPosted = [&](ProbeAbout& painted) {
                HWND dialog = painted.Handle();
                RECT client;
                GetClientRect(dialog, &client);
                MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
                mean = Pixels::OfScreen(client).MeanLuminance();
                RECT square;
                GetWindowRect(GetDlgItem(dialog, IDC_ABOUT_AUTO_UPDATE), &square);
                square.right = square.left + (square.bottom - square.top);
                box = Pixels::OfScreen(square).MeanLuminance();
                for (int id :
                     {IDC_ABOUT_PRODUCT, IDC_ABOUT_VERSION, IDC_ABOUT_LINK, IDC_ABOUT_AUTO_UPDATE, IDC_ABOUT_OK})
                    contrast = std::min(contrast, Pixels::OfWindow(GetDlgItem(dialog, id)).Contrast());
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            };
        };
        about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0);
        if (c.dark) {
            EXPECT_LT(mean, 0.2) << c.atOpen << c.whileOpen;
            EXPECT_GE(contrast, 7.0) << c.atOpen << c.whileOpen;
            EXPECT_LT(box, 0.35) << c.atOpen << c.whileOpen;
        } else {
            EXPECT_GT(mean, 0.7);
            EXPECT_GT(box, 0.5);
        }
    }
    if (had == ERROR_SUCCESS)
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &saved, sizeof(saved));
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme");
}

// Moved to screens of 144, 120 and 96 DPI: the window takes the suggested rectangle, the OK button and
// its font scale from their size at 96 and the button stays inside the dialog.
TEST(AboutDialog, FollowsTheScreenToAnotherDpi) {
    ProbeAbout about(nullptr, nullptr);
    about.onPosted = [&](ProbeAbout& probe) {
        HWND dialog = probe.Handle(), ok = GetDlgItem(dialog, IDC_ABOUT_OK);
        RECT frame, button, client;
        GetWindowRect(dialog, &frame);
        GetWindowRect(ok, &button);
        LOGFONTW font = {};
        GetObjectW((HFONT)SendMessageW(ok, WM_GETFONT, 0, 0), sizeof(font), &font);
        for (int dpi : {144, 120, 96}) {
            RECT suggested = {frame.left, frame.top, frame.left + MulDiv(frame.right - frame.left, dpi, 96),
                              frame.top + MulDiv(frame.bottom - frame.top, dpi, 96)};
            SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), (LPARAM)&suggested);
            RECT now, scaled, inside;
            LOGFONTW scaledFont = {};
            GetWindowRect(dialog, &now);
            EXPECT_TRUE(EqualRect(&suggested, &now)) << dpi;
            GetWindowRect(ok, &scaled);
            EXPECT_NEAR(MulDiv(button.right - button.left, dpi, 96), scaled.right - scaled.left, 2) << dpi;
            EXPECT_NEAR(MulDiv(button.bottom - button.top, dpi, 96), scaled.bottom - scaled.top, 2) << dpi;
            GetObjectW((HFONT)SendMessageW(ok, WM_GETFONT, 0, 0), sizeof(scaledFont), &scaledFont);
            EXPECT_NEAR(MulDiv(font.lfHeight, dpi, 96), scaledFont.lfHeight, 1) << dpi;
            GetClientRect(dialog, &client);
            MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
            EXPECT_TRUE(IntersectRect(&inside, &scaled, &client) && EqualRect(&inside, &scaled)) << dpi;
        }
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    };
    about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0);
}
