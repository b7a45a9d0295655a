#include "crash/ReportDialog.h"

#include "base/HighContrast.h"
#include "framework/DarkMode.h"
#include "framework/DialogTemplateBuilder.h"
#include "framework/OpenAddress.h"
#include "framework/VersionInfo.h"
#include "sysinfo/OsVersion.h"

#include <commctrl.h>
#include <wchar.h>

namespace {

const COLORREF HeadlineColor = RGB(9, 55, 117);
const COLORREF QuietColor = RGB(0x60, 0x60, 0x60);
const COLORREF White = RGB(255, 255, 255);
// Asked for larger than the headline's control: the label shrinks it until the text fits.
const int HeadlineHeight = 40;
const unsigned LinkOptions = SYSLINK_DIALOG_UNITS | SYSLINK_NO_PARENT_HOOK;
const UINT_PTR IdleTimer = 1;

const wchar_t* WithoutScheme(const wchar_t* address) {
    if (!wcsncmp(address, L"http://", 7))
        return address + 7;
    if (!wcsncmp(address, L"https://", 8))
        return address + 8;
    return address;
}

// The earlier of "http://" and "https://" in the text, or null.
const wchar_t* FindAddress(const wchar_t* text) {
    if (!text)
        return nullptr;
    const wchar_t* plain = wcsstr(text, L"http://");
    const wchar_t* secure = wcsstr(text, L"https://");
    if (!plain || (secure && secure < plain))
        return secure;
    return plain;
}

} // namespace

ReportDialog::ReportDialog(int iconId, const wchar_t* dump, const wchar_t* text)
    : icon(iconId), dumpPath(dump ? dump : L""), textPath(text ? text : L"") {}

int ReportDialog::BuildTemplate(DialogTemplateBuilder& t) {
    const DWORD Visible = WS_VISIBLE;
    t.Begin(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND, 0, 0, 428, 201,
            L"Dialog", 8, L"MS Sans Serif");
    // The panel lies under the other controls and is clipped by them: it paints after them under Wine.
    t.AddItem(Visible | SS_WHITERECT | WS_CLIPSIBLINGS, 0, 0, 429, 167, 0xFFFF, DIALOG_CLASS_STATIC, nullptr);
    t.AddItem(Visible | BS_DEFPUSHBUTTON | WS_TABSTOP, 241, 177, 100, 14, REPORT_SEND, DIALOG_CLASS_BUTTON,
              L"Send Problem Report");
    t.AddItem(Visible | BS_PUSHBUTTON | WS_TABSTOP, 351, 177, 60, 14, REPORT_DONT_SEND, DIALOG_CLASS_BUTTON,
              L"Don't Send");
    t.AddItem(Visible | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 40, 86, 370, 14, REPORT_DESCRIPTION, DIALOG_CLASS_EDIT,
              nullptr);
    t.AddItem(Visible | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 40, 119, 370, 14, REPORT_EMAIL, DIALOG_CLASS_EDIT,
              nullptr);
    t.AddItem(Visible, 40, 144, 370, 18, REPORT_FILES, DIALOG_CLASS_STATIC, L"Static");
    t.AddItem(Visible, 40, 35, 370, 26, REPORT_ADVICE, DIALOG_CLASS_STATIC, L"Static");
    t.AddItem(Visible | SS_ICON, 10, 10, 20, 20, REPORT_ICON, DIALOG_CLASS_STATIC, nullptr);
    t.AddItem(Visible | SS_CENTERIMAGE, 40, 12, 370, 14, REPORT_HEADLINE, DIALOG_CLASS_STATIC, L"Static");
    t.AddItem(Visible, 40, 74, 370, 8, REPORT_DESCRIPTION_LABEL, DIALOG_CLASS_STATIC, L"Static");
    t.AddItem(Visible, 40, 107, 370, 8, REPORT_EMAIL_LABEL, DIALOG_CLASS_STATIC, L"Static");
    return t.AddItem(Visible | SS_ETCHEDHORZ, 0, 166, 429, 1, REPORT_SEPARATOR, DIALOG_CLASS_STATIC, nullptr);
}

int ReportDialog::HomePage(const wchar_t* comments, const wchar_t* specialBuild, WString& page) {
    page.Assign(L"");
    // The program's own Comments names its maker's page with "https://"; older builds used "http://".
    const wchar_t* address = FindAddress(comments);
    if (!address)
        address = FindAddress(specialBuild);
    if (!address)
        return 0;
    const wchar_t* end = wcschr(address, L']');
    page.Assign(address, end ? (unsigned)(end - address) : (unsigned)wcslen(address));
    return 1;
}

int ReportDialog::Run(WString& email, WString& description) {
    email.Assign(L"");
    description.Assign(L"");
    DialogTemplateBuilder builder;
    if (!BuildTemplate(builder))
        return 0;
    // No owner: the program's windows may be gone or belong to the thread that crashed.
    INT_PTR result = DoModalIndirect(GetModuleHandleW(nullptr), builder.Template(), builder.Size(), 0, nullptr);
    if (result != 1)
        return 0;
    email.Assign(typedEmail);
    description.Assign(typedDescription);
    return 1;
}

int ReportDialog::OnInitDialog() {
    scaler.Attach(window);
    shownAt = GetTickCount();
    SetTimer(window, IdleTimer, 1000, nullptr);
    WString program, product, company, comments, special, homePage;
    VersionInfo::ModulePath(nullptr, program);
    VersionInfo::VersionString(product, L"ProductName", program);
    VersionInfo::VersionString(company, L"CompanyName", program);
    VersionInfo::VersionString(comments, L"Comments", program);
    VersionInfo::VersionString(special, L"SpecialBuild", program);
    if (company.IsEmpty())
        company.Assign(L"us");
    HomePage(comments, special, homePage);

    SetText(product);
    SetIcons(icon, scaler.Dpi());
    SendDlgItemMessageW(window, REPORT_ICON, STM_SETICON, (WPARAM)largeIcon, 0);
    // The white panel is the template's first control, on top of its siblings; it goes behind them, where
    // its clipping keeps it from painting over them.
    panel = GetWindow(window, GW_CHILD);
    SetWindowPos(panel, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    WString line;
    line.Format(L"%s has stopped working.", product.Buffer());
    SetItemText(REPORT_HEADLINE, line);
    headline.Attach(Item(REPORT_HEADLINE), nullptr, HeadlineHeight, HeadlineColor, HeadlineColor,
                    LABEL_FIT | LABEL_REFIT_ON_TEXT, 0, nullptr, nullptr);
    ShowAdvice(company, homePage);

    SetItemText(REPORT_DESCRIPTION_LABEL, L"Can you please describe what you were doing when the problem occurred?");
    descriptionLabel.Attach(Item(REPORT_DESCRIPTION_LABEL), L"", 0, QuietColor, QuietColor, LABEL_OWN_FONT, 0, nullptr,
                            nullptr);
    SendDlgItemMessageW(window, REPORT_DESCRIPTION, EM_LIMITTEXT, DescriptionCapacity - 2, 0);
    SendDlgItemMessageW(window, REPORT_DESCRIPTION, EM_SETCUEBANNER, TRUE, (LPARAM)L" optional");
    SetItemText(REPORT_EMAIL_LABEL,
                L"Your E-mail address. It will be kept private. Only used to contact you for more details.");
    emailLabel.Attach(Item(REPORT_EMAIL_LABEL), L"", 0, QuietColor, QuietColor, LABEL_OWN_FONT, 0, nullptr, nullptr);
    SendDlgItemMessageW(window, REPORT_EMAIL, EM_LIMITTEXT, EmailCapacity - 2, 0);
    SendDlgItemMessageW(window, REPORT_EMAIL, EM_SETCUEBANNER, TRUE, (LPARAM)L" optional");

    ShowFiles();
    separator.Attach(Item(REPORT_SEPARATOR));
    ShowColors();
    return 1;
}

void ReportDialog::ShowColors() {
    colors.Apply(window);
    // In high contrast the dialog takes the user's colours throughout: the blue and the grey of our own
    // could vanish on them.
    int highContrast = IsHighContrast();
    // The white panel paints in a system colour whatever the colour messages answer; in dark mode and in
    // high contrast the dialog's own background shows instead.
    ShowWindow(panel, colors.IsDark() || highContrast ? SW_HIDE : SW_SHOW);
    background.Create(highContrast ? GetSysColor(COLOR_BTNFACE) : White);
    COLORREF strong = highContrast ? GetSysColor(COLOR_BTNTEXT) : colors.Text(HeadlineColor);
    quiet = highContrast ? GetSysColor(COLOR_BTNTEXT) : colors.SecondaryText(QuietColor);
    headline.SetColors(strong, strong);
    descriptionLabel.SetColors(quiet, quiet);
    emailLabel.SetColors(quiet, quiet);
    separator.SetLineColor(colors.IsDark() ? DarkPalette::Divider : CLR_INVALID);
    ShowLinks(adviceLink, REPORT_ADVICE);
    ShowLinks(filesLink, REPORT_FILES);
}

void ReportDialog::ShowLinks(SysLinkControl& link, int plainId) {
    // Windows' SysLink takes the colours WM_CTLCOLORSTATIC answers for links marked LIS_DEFAULTCOLORS.
    // Wine's draws in the system's colours whatever it is told: black on the dark background, its links
    // in a dark blue. There, in dark mode, the plain texts, which name the same files and page, stand in
    // for the links.
    int links = link.Handle() && (!colors.IsDark() || !IsWine());
    if (link.Handle()) {
        link.UseParentColours(colors.IsDark());
        ShowWindow(link.Handle(), links ? SW_SHOW : SW_HIDE);
    }
    ShowWindow(Item(plainId), links ? SW_HIDE : SW_SHOW);
}

void ReportDialog::OnDpiChanged() {
    headline.Refit();
    descriptionLabel.Refit();
    emailLabel.Refit();
    // The icon at the size of the new DPI; the icon static takes the icon's size.
    SetIcons(icon, scaler.Dpi());
    SendDlgItemMessageW(window, REPORT_ICON, STM_SETICON, (WPARAM)largeIcon, 0);
}

void ReportDialog::ShowAdvice(const WString& company, const WString& homePage) {
    WString markup;
    if (homePage.IsEmpty())
        markup.Format(L"Please tell %s about this problem.", company.Buffer());
    else
        markup.Format(L"Please tell %s about this problem.\n\nYou can check the website <a href=\"%s\">%s</a> for a "
                      L"newer version.",
                      company.Buffer(), homePage.Buffer(), WithoutScheme(homePage));
    adviceLink.Create(window, 40, 35, 370, 26, markup, LinkOptions, nullptr, nullptr);
    // Also where the link exists: the dark mode shows the plain text instead.
    WString plain;
    if (homePage.IsEmpty())
        plain.Format(L"Please tell %s about this problem.", company.Buffer());
    else
        plain.Format(L"Please tell %s about this problem.\n\nYou can check the website '%s' for a newer version.",
                     company.Buffer(), WithoutScheme(homePage));
    SetItemText(REPORT_ADVICE, plain);
}

void ReportDialog::ShowFiles() {
    const wchar_t* textName = FileNamePart(textPath.Buffer());
    const wchar_t* dumpName = FileNamePart(dumpPath.Buffer());
    int both = !dumpPath.IsEmpty();
    WString markup;
    if (both)
        markup.Format(L"The files <a href=\"%s\">%s</a> and <a href=\"%s\">%s</a> will be send. They do not contain "
                      L"any personal information.",
                      textPath.Buffer(), textName, dumpPath.Buffer(), dumpName);
    else
        markup.Format(L"The file <a href=\"%s\">%s</a> will be send. It does not contain any personal information.",
                      textPath.Buffer(), textName);
    filesLink.Create(window, 40, 144, 370, 18, markup, LinkOptions, nullptr, nullptr);
    WString plain;
    if (both)
        plain.Format(L"The files %s and %s will be send. They do not contain any personal information.", textName,
                     dumpName);
    else
        plain.Format(L"The file %s will be send. It does not contain any personal information.", textName);
    SetItemText(REPORT_FILES, plain);
}

void ReportDialog::ReadBox(int id, WString& target, int capacity) {
    if (!target.Reset((unsigned)capacity))
        return;
    GetDlgItemTextW(window, id, target.Buffer(), capacity - 1);
    target.Recount();
}

int ReportDialog::OnCommand(int id, WPARAM wParam, LPARAM lParam) {
    switch (id) {
        case REPORT_SEND:
        // Enter where no default button answers.
        case IDOK:
            ReadBox(REPORT_DESCRIPTION, typedDescription, DescriptionCapacity);
            ReadBox(REPORT_EMAIL, typedEmail, EmailCapacity);
            EndDialogWith(1);
            return 1;
        case REPORT_DONT_SEND:
            EndDialogWith(0);
            return 1;
        default:
            // Escape and the close box.
            return DialogBase::OnCommand(id, wParam, lParam);
    }
}

DWORD ReportDialog::IdleFor() const {
    DWORD now = GetTickCount();
    DWORD idle = now - shownAt;
    // The last input anywhere in the session, not only in this dialog: one who types elsewhere is there.
    LASTINPUTINFO input = {sizeof(input), 0};
    if (GetLastInputInfo(&input) && now - input.dwTime < idle)
        idle = now - input.dwTime;
    return idle;
}

int ReportDialog::OnDestroy() {
    KillTimer(window, IdleTimer);
    adviceLink.Destroy();
    filesLink.Destroy();
    headline.Detach();
    descriptionLabel.Detach();
    emailLabel.Detach();
    separator.Detach();
    colors.Detach();
    return DialogBase::OnDestroy();
}

int ReportDialog::IsFileList(HWND control) const {
    return control && (control == filesLink.Handle() || control == Item(REPORT_FILES));
}

INT_PTR ReportDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            // Null in light mode: the system's colours, as the dialog always had.
            return reinterpret_cast<INT_PTR>(
                colors.OnCtlColor(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            HBRUSH brush = colors.OnCtlColor(message, dc, reinterpret_cast<HWND>(lParam));
            if (IsFileList(reinterpret_cast<HWND>(lParam)))
                SetTextColor(dc, quiet);
            return reinterpret_cast<INT_PTR>(brush ? brush : background.OnCtlColor(dc));
        }
        case WM_SETTINGCHANGE:
            // The user switched between light and dark, or high contrast, while the dialog is open.
            if (DarkMode::IsModeChange(message, wParam, lParam))
                ShowColors();
            return 0;
        case WM_DPICHANGED:
            if (!scaler.OnDpiChanged(wParam, lParam))
                return 0;
            OnDpiChanged();
            return 1;
        case WM_TIMER:
            if (wParam != IdleTimer)
                return DialogBase::DialogProc(message, wParam, lParam);
            // Nobody answers (the user is away, or the session is locked): Don't Send, so that the process
            // ends and the program can be started again.
            if (IdleFor() > idleLimit)
                EndDialogWith(0);
            return 1;
        case WM_NOTIFY: {
            // The links are made without the parent hook; their clicks are answered here.
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            LRESULT painted = 0;
            if (colors.OnNotify(header, &painted)) {
                SetWindowLongPtrW(window, DWLP_MSGRESULT, painted);
                return 1;
            }
            if (!header || (header->hwndFrom != adviceLink.Handle() && header->hwndFrom != filesLink.Handle()))
                return 0;
            if (header->code != NM_CLICK && header->code != NM_RETURN)
                return 0;
            const NMLINK* link = reinterpret_cast<const NMLINK*>(lParam);
            OpenAddress(link->item.szUrl);
            return 1;
        }
        default:
            return DialogBase::DialogProc(message, wParam, lParam);
    }
}
