#include "framework/DialogTemplate.h"
#include "framework/ResourceLang.h"
#include "fixtures/TestDialogs.h"
#include "MessageFontOverride.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const void* DialogResource(UINT id, DWORD* size) {
    return LoadResourceLang(nullptr, RT_DIALOG, MAKEINTRESOURCEW(id), 0, size);
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

std::wstring Height(int points) {
    return L" " + std::to_wstring(-MulDiv(points, DialogTemplate::ScreenPixelsPerInch(), 72));
}

// Creates the dialog and reads its font and item texts, which fail to match when any item is misplaced.
std::wstring DescribeDialog(const void* bytes) {
    HWND dialog = CreateDialogIndirectParamW(nullptr, (const DLGTEMPLATE*)bytes, nullptr, PlainDialogProc, 0);
    if (!dialog)
        return L"no dialog";
    LOGFONTW font = {};
    GetObjectW((HFONT)SendMessageW(dialog, WM_GETFONT, 0, 0), sizeof(font), &font);
    std::wstring text = std::wstring(font.lfFaceName) + L" " + std::to_wstring(font.lfHeight);
    for (int id : {IDC_TEST_LABEL, IDC_TEST_EDIT, IDC_TEST_CHECK, IDOK, IDCANCEL}) {
        wchar_t item[64] = L"-";
        if (GetDlgItem(dialog, id))
            GetDlgItemTextW(dialog, id, item, 64);
        text += L"|" + std::wstring(item);
    }
    DestroyWindow(dialog);
    return text;
}

int faceInstalledInTest(const wchar_t* face) {
    return wcscmp(face, L"Missing Face") != 0;
}
int onlyShellDlg2(const wchar_t* face) {
    return !wcscmp(face, L"MS Shell Dlg 2");
}

} // namespace

// The two test dialogs need alignment padding after the old face in one form and not in the other; the new
// faces of every length parity need it or not after the new face.
TEST(DialogTemplate, ReplacedFaceKeepsEveryItemIntactAndAligned) {
    const struct {
        UINT id;
        const wchar_t* items;
    } dialogs[] = {{IDD_TEST_SANS_SERIF, L"|First label||Check me|OK|Cancel"},
                   {IDD_TEST_SANS_SERIF_EX, L"|Extended label||Check me|OK|Cancel"}};
    for (const auto& dialog : dialogs) {
        DWORD size = 0;
        const void* original = DialogResource(dialog.id, &size);
        ASSERT_EQ(L"MS Sans Serif" + Height(8) + dialog.items, DescribeDialog(original));
        for (const wchar_t* newFace : {L"X", L"XY", L"DejaVu Sans", L"A Face Name Of Thirty One Chars"}) {
            DialogTemplate::Font font = {L"", 11};
            lstrcpynW(font.face, newFace, LF_FACESIZE);
            DialogTemplate rewritten;
            ASSERT_TRUE(rewritten.Replace(original, size, font));
            EXPECT_EQ(newFace + Height(11) + dialog.items, DescribeDialog(rewritten.Template())) << dialog.id;
        }
        // Cut short inside the face name: nothing to replace.
        DialogTemplate::FontFields fields = {};
        ASSERT_TRUE(DialogTemplate::FindFont(original, size, &fields));
        DialogTemplate rewritten;
        EXPECT_FALSE(rewritten.Replace(original, fields.faceEnd - 2, {L"Arial", 8}));
        EXPECT_TRUE(rewritten.Replace(original, fields.faceEnd, {L"Arial", 8}));
    }
    // No font in the template: nothing to replace.
    DWORD size = 0;
    const void* noFont = DialogResource(IDD_TEST_NO_FONT, &size);
    DialogTemplate rewritten;
    EXPECT_FALSE(rewritten.Replace(noFont, size, {L"Arial", 8}));
    EXPECT_EQ(nullptr, rewritten.Template());
}

TEST(DialogTemplate, ChoosesFaceAndSizeFromTheMessageFont) {
    struct Case {
        const wchar_t* messageFace;
        LONG height;
        int pixelsPerInch, rule;
        DialogTemplate::FontInstalled installed;
        const wchar_t* expected; // null: no rewrite
        WORD points;
    } cases[] = {
        {L"Segoe UI", -12, 96, 0, faceInstalledInTest, L"Segoe UI", 9},
        {L"Segoe UI", -12, 96, 1, faceInstalledInTest, L"MS Shell Dlg 2", 8},
        {L"Tahoma", -13, 96, 1, faceInstalledInTest, L"Tahoma", 10},
        {L"MS Sans Serif", -15, 120, 0, faceInstalledInTest, L"MS Sans Serif", 9},
        {L"Tahoma", 13, 96, 0, faceInstalledInTest, L"Tahoma", 10}, // a cell height
        {L"Segoe UI", -12, 96, 0, onlyShellDlg2, L"MS Shell Dlg 2", 8},
        {L"Tahoma", -12, 96, 0, [](const wchar_t*) { return 0; }, L"MS Shell Dlg", 8},
        {L"MS Shell Dlg", -11, 96, 1, faceInstalledInTest, nullptr, 0},
        {L"segoe ui", -12, 96, 1, faceInstalledInTest, nullptr, 0},
    };
    for (const Case& c : cases) {
        LOGFONTW message = {};
        message.lfHeight = c.height;
        lstrcpynW(message.lfFaceName, c.messageFace, LF_FACESIZE);
        DialogTemplate::Font chosen = {L"untouched", 0};
        EXPECT_EQ(c.expected != nullptr,
                  DialogTemplate::PickFont(message, c.pixelsPerInch, c.rule, c.installed, &chosen))
            << c.messageFace;
        EXPECT_STREQ(c.expected ? c.expected : L"untouched", chosen.face) << c.messageFace << " " << c.rule;
        EXPECT_EQ(c.points, chosen.pointSize) << c.messageFace << " " << c.rule;
    }
}

// The whole rewrite on this system, under message fonts it moves to and one it does not.
TEST(DialogTemplate, RewriteFollowsTheSystemMessageFont) {
    MessageFontOverride override;
    for (const wchar_t* system : {L"Tahoma", L"Segoe UI", L"Arial"}) {
        ASSERT_TRUE(override.Set(system, -13));
        LOGFONTW message = {};
        ASSERT_TRUE(DialogTemplate::MessageFont(&message));
        ASSERT_STREQ(system, message.lfFaceName);
        for (UINT id : {IDD_TEST_SANS_SERIF_EX, IDD_TEST_ARIAL}) {
            DWORD size = 0;
            const void* resource = DialogResource(id, &size);
            DialogTemplate::Font expected = {L"", 0};
            const bool rewrites =
                id != IDD_TEST_ARIAL && DialogTemplate::PickFont(message, DialogTemplate::ScreenPixelsPerInch(), 1,
                                                                 DialogTemplate::IsFontInstalled, &expected);
            DialogTemplate rewritten;
            ASSERT_EQ(rewrites, rewritten.Rewrite(resource, size, 1) == 1) << system << " " << id;
            std::wstring font = rewrites               ? expected.face + Height(expected.pointSize)
                                : id == IDD_TEST_ARIAL ? L"Arial" + Height(10)
                                                       : L"MS Sans Serif" + Height(8);
            std::wstring items =
                id == IDD_TEST_ARIAL ? L"|Arial label|-|-|OK|Cancel" : L"|Extended label||Check me|OK|Cancel";
            EXPECT_EQ(font + items, DescribeDialog(rewrites ? (const void*)rewritten.Template() : resource));
        }
    }
}
