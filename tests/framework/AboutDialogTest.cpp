// The About box run from the program's resources, on a portable INI file and an update switch that
// records what it is asked.
#include "framework/AboutDialog.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

const UINT WM_PROBE = WM_APP + 7;

class RecordingSwitch : public UpdateSwitch {
public:
    int FormatLastCheck(WString& text) override { return text.Assign(last.c_str()); }
    int CheckNow() override { return ++checks; }
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
