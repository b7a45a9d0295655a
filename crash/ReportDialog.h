#pragma once
// The "has stopped working" dialog shown after a crash: which files would be sent, an optional
// description and e-mail address, and the choice to send them. Its template is built in memory, so it
// works when the program's resources or its main window are in a bad state.

#include "base/WString.h"
#include "framework/ColorBrush.h"
#include "framework/DialogBase.h"
#include "framework/DialogColors.h"
#include "framework/DialogScaler.h"
#include "framework/DividerControl.h"
#include "framework/LabelControl.h"
#include "framework/SysLinkControl.h"

class DialogTemplateBuilder;

// Controls of the problem-report dialog
enum : int {
    REPORT_SEND = 1000,
    REPORT_DONT_SEND = 1001,
    REPORT_ICON = 1003,
    REPORT_DESCRIPTION = 1004,
    REPORT_EMAIL = 1005,
    REPORT_HEADLINE = 1006,
    REPORT_FILES = 1008,
    REPORT_ADVICE = 1010,
    REPORT_DESCRIPTION_LABEL = 1011,
    REPORT_EMAIL_LABEL = 1012,
    REPORT_SEPARATOR = 1013,
};

class ReportDialog : public DialogBase {
public:
    // Room for the typed texts, terminator included; the boxes take two characters less.
    static const int DescriptionCapacity = 2048;
    static const int EmailCapacity = 260;

    // dumpPath may be empty (no minidump was written).
    ReportDialog(int iconId, const wchar_t* dumpPath, const wchar_t* textPath);
    ~ReportDialog() override = default;

    // 1 when the user chose "Send Problem Report", with the typed texts; 0 for "Don't Send", Escape, the
    // close box, or a dialog that could not be created.
    int Run(WString& email, WString& description);
    // The dialog answers "Don't Send" by itself once nobody has touched mouse or keyboard for this long.
    void SetIdleLimit(DWORD milliseconds) { idleLimit = milliseconds; }
    // Milliseconds since the dialog was shown or the session's last input, whichever came later.
    DWORD IdleFor() const;

    // The template: the dialog in "MS Sans Serif" 8, its controls in dialog units.
    static int BuildTemplate(DialogTemplateBuilder& builder);
    // The maker's web page named in a version string: from the first "http://" or "https://" of the
    // first string holding one, cut before a closing "]"; 0 and empty when neither has one.
    static int HomePage(const wchar_t* comments, const wchar_t* specialBuild, WString& page);

protected:
    int OnInitDialog() override;
    int OnCommand(int id, WPARAM wParam, LPARAM lParam) override;
    int OnDestroy() override;
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowAdvice(const WString& company, const WString& homePage);
    void ShowFiles();
    void ReadBox(int id, WString& target, int capacity);
    int IsFileList(HWND control) const;
    // The app mode's colours for the dialog, its labels and links.
    void ShowColors();
    // The link, or the plain text that stands in for it.
    void ShowLinks(SysLinkControl& link, int plainId);
    void OnDpiChanged();

    int icon;
    DWORD idleLimit = 5 * 60 * 1000;
    DWORD shownAt = 0;
    WString dumpPath;
    WString textPath;
    WString typedEmail;
    WString typedDescription;
    SysLinkControl adviceLink;
    SysLinkControl filesLink;
    LabelControl headline;
    LabelControl descriptionLabel;
    LabelControl emailLabel;
    ColorBrush background;
    // The quiet texts' colour: the labels' and the file list's.
    COLORREF quiet = 0;
    DividerControl separator;
    HWND panel = nullptr;
    DialogColors colors;
    DialogScaler scaler;
};
