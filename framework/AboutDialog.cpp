#include "framework/AboutDialog.h"

#include "base/HighContrast.h"
#include "base/CommonControls.h"
#include "base/WString.h"
#include "framework/DarkMode.h"
#include "framework/StringTable.h"
#include "framework/VersionInfo.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <initializer_list>

const wchar_t* const AboutDialog::MakerAddress = L"https://www.koravent.com";
const wchar_t* const AboutDialog::MakerCaption = L"www.koravent.com";

namespace {

const COLORREF ProductColor = RGB(0x40, 0x40, 0x40);
const COLORREF VersionColor = RGB(0x80, 0x80, 0x80);
// Asked for far larger than the control: the label shrinks it until the name fits.
const int ProductHeight = 100;

} // namespace

AboutDialog::AboutDialog(SettingsStore* settings, UpdateSwitch* updates, HotkeySetting* hotkey)
    : settings(settings), updates(updates), hotkey(hotkey) {
    // The box holds a hotkey control, whose class exists only once the common controls registered it.
    CommonControls::Get().InitClasses(ICC_HOTKEY_CLASS);
}

int AboutDialog::OnInitDialog() {
    scaler.Attach(window);
    SetIcons(IDI_VELTRIX, scaler.Dpi());
    VersionInfo version;
    SetText(version.VersionTitle(L"Veltrix", instance, nullptr));
    SetItemText(IDC_ABOUT_PRODUCT, L"Veltrix");
    product.Attach(Item(IDC_ABOUT_PRODUCT), L"Verdana", ProductHeight, ProductColor, ProductColor, LABEL_FIT, 0,
                   nullptr, nullptr);

    // The dialog exists once; its texts come in the user's language from the string table.
    StringTable strings(instance);
    WString fileVersion, line;
    VersionInfo::VersionNumber(instance, &fileVersion);
    line.Format(L"%s %s", strings.Load(IDS_VERSION), fileVersion.Buffer() ? fileVersion.Buffer() : L"");
    SetItemText(IDC_ABOUT_VERSION, line);
    versionLine.Attach(Item(IDC_ABOUT_VERSION), L"Verdana", 0, VersionColor, VersionColor, LABEL_OWN_FONT, 0, nullptr,
                       nullptr);

    // The dialog's own font, so that only the colours and the underline mark it as a link.
    link.Attach(Item(IDC_ABOUT_LINK), MakerCaption, MakerAddress, IDC_HAND_POINTER, LINK_OWN_FONT);

    WString lastCheck, box;
    if (updates)
        updates->FormatLastCheck(lastCheck);
    box.Assign(strings.Load(IDS_AUTO_UPDATE));
    // A month of checks without a valid answer is said: updates may have stopped reaching this copy.
    if (updates && updates->ChecksFailing()) {
        lastCheck.Append(lastCheck.IsEmpty() ? L"" : L"; ");
        lastCheck.Append(strings.Load(IDS_NO_ANSWER));
    }
    if (!lastCheck.IsEmpty()) {
        WString bracket;
        bracket.Format(L" [%s: %s]", strings.Load(IDS_LAST_CHECK), (const wchar_t*)lastCheck);
        box.Append(bracket);
    }
    SetItemText(IDC_ABOUT_AUTO_UPDATE, box);
    SetItemText(IDC_ABOUT_OK, strings.Load(IDS_OK));
    CheckButton(IDC_ABOUT_AUTO_UPDATE, settings ? (int)settings->ReadInt(L"AutoUpdate", 1) : 1);
    // Enter on the check box presses OK; on the link it opens the link.
    SendMessageW(window, DM_SETDEFID, IDC_ABOUT_OK, 0);

    SetItemText(IDC_ABOUT_HOTKEY_LABEL, strings.Load(IDS_HOTKEY));
    SetItemText(IDC_ABOUT_WINKEY, strings.Load(IDS_WINKEY));
    if (hotkey) {
        SendMessageW(Item(IDC_ABOUT_HOTKEY), HKM_SETHOTKEY, hotkey->Hotkey(), 0);
        ShowHotkeyState(hotkey->HotkeyAvailable());
        CheckButton(IDC_ABOUT_WINKEY, hotkey->WinKeyOpens());
    } else {
        for (int id : {IDC_ABOUT_HOTKEY_LABEL, IDC_ABOUT_HOTKEY, IDC_ABOUT_HOTKEY_TAKEN, IDC_ABOUT_WINKEY})
            ShowWindow(Item(id), SW_HIDE);
    }
    ShowColors();
    return 1;
}

void AboutDialog::ShowColors() {
    colors.Apply(window);
    // In high contrast the greys of our own would vanish on the user's colours: the dialog's text colour.
    int highContrast = IsHighContrast();
    COLORREF productColor = highContrast ? GetSysColor(COLOR_BTNTEXT) : colors.Text(ProductColor);
    COLORREF versionColor = highContrast ? GetSysColor(COLOR_BTNTEXT) : colors.SecondaryText(VersionColor);
    product.SetColors(productColor, productColor);
    versionLine.SetColors(versionColor, versionColor);
    if (colors.IsDark())
        link.SetColors(DarkPalette::Link, DarkPalette::LinkHover);
    else
        link.ResetColors();
}

INT_PTR AboutDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            // Null in light mode: the system's colours, as the box always had.
            return reinterpret_cast<INT_PTR>(
                colors.OnCtlColor(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (!colors.OnNotify(reinterpret_cast<const NMHDR*>(lParam), &result))
                return 0;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return 1;
        }
        case WM_SETTINGCHANGE:
            // The user switched between light and dark, or high contrast, while the box is open.
            if (DarkMode::IsModeChange(message, wParam, lParam))
                ShowColors();
            return 0;
        case WM_DPICHANGED:
            if (!scaler.OnDpiChanged(wParam, lParam))
                return 0;
            product.Refit();
            versionLine.Refit();
            link.Refit();
            SetIcons(IDI_VELTRIX, scaler.Dpi());
            return 1;
        default:
            return DialogBase::DialogProc(message, wParam, lParam);
    }
}

void AboutDialog::ShowHotkeyState(int available) {
    // A combination another program holds is said so, instead of doing nothing when pressed.
    StringTable strings(instance);
    SetItemText(IDC_ABOUT_HOTKEY_TAKEN, available ? L"" : strings.Load(IDS_HOTKEY_TAKEN));
}

int AboutDialog::CanEnd(INT_PTR) {
    // Saved here because every way of closing the box passes through: OK, Enter, Escape, the close box.
    if (settings)
        settings->WriteInt(L"AutoUpdate", IsButtonChecked(IDC_ABOUT_AUTO_UPDATE) ? 1 : 0);
    link.Detach();
    product.Detach();
    versionLine.Detach();
    colors.Detach();
    return 1;
}

int AboutDialog::OnCommand(int id, WPARAM wParam, LPARAM lParam) {
    switch (id) {
        case IDC_ABOUT_OK:
        // Enter asks the dialog for IDOK; the OK button has its own id, so both end the box.
        case IDOK:
            EndDialogWith(0);
            return 1;
        case IDC_ABOUT_HOTKEY:
            // Applied as it is typed, so the new combination works before the box closes.
            if (HIWORD(wParam) == EN_CHANGE && hotkey)
                ShowHotkeyState(hotkey->ChangeHotkey((WORD)SendMessageW(Item(IDC_ABOUT_HOTKEY), HKM_GETHOTKEY, 0, 0)));
            return 1;
        case IDC_ABOUT_WINKEY:
            // Applied at once too; a change the resident instance could not take is shown undone.
            if (HIWORD(wParam) == BN_CLICKED && hotkey && !hotkey->ChangeWinKey(IsButtonChecked(IDC_ABOUT_WINKEY)))
                CheckButton(IDC_ABOUT_WINKEY, hotkey->WinKeyOpens());
            return 1;
        case IDC_ABOUT_AUTO_UPDATE:
            // Switching checks on asks at once; switching them off only takes effect when the box closes.
            if (HIWORD(wParam) == BN_CLICKED && IsButtonChecked(IDC_ABOUT_AUTO_UPDATE) && updates)
                updates->CheckNow();
            return 1;
        default:
            return DialogBase::OnCommand(id, wParam, lParam);
    }
}
