#include "framework/DialogBase.h"
#include "framework/DialogTemplate.h"
#include "framework/ResourceLang.h"
#include "fixtures/TestDialogs.h"
#include "MessageFontOverride.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const UINT WM_PROBE = WM_APP + 1;

// A dialog whose behaviour each test fills in. onPosted runs once the dialog's loop runs (posted from
// OnInitDialog). A timer ends a dialog the test failed to end with 999, so a fault shows as a wrong result.
class ProbeDialog : public DialogBase {
public:
    ~ProbeDialog() override {
        if (destroyed)
            *destroyed = true;
    }

    int initResult = 1;
    int canEndCalls = 0;
    std::function<void(ProbeDialog&)> onPosted;
    bool* destroyed = nullptr;
    LOGFONTW font = {};

protected:
    int OnInitDialog() override {
        SetTimer(window, 1, 10000, nullptr);
        GetObjectW((HFONT)SendMessageW(window, WM_GETFONT, 0, 0), sizeof(font), &font);
        PostMessageW(window, WM_PROBE, 0, 0);
        return initResult;
    }
    int CanEnd(INT_PTR) override { return ++canEndCalls; }
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TIMER) {
            EndDialogWith(999);
            return 1;
        }
        if (message == WM_PROBE && onPosted) {
            onPosted(*this);
            return 1;
        }
        return DialogBase::DialogProc(message, wParam, lParam);
    }
};

HINSTANCE Module() {
    return GetModuleHandleW(nullptr);
}

} // namespace

TEST(DialogBase, EscapeAndCloseEndWithZero) {
    ProbeDialog dialog;
    // Escape pressed in the edit box, as a user would: the dialog manager turns it into IDCANCEL.
    dialog.onPosted = [](ProbeDialog& probe) {
        PostMessageW(GetDlgItem(probe.Handle(), IDC_TEST_EDIT), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(0, dialog.DoModal(Module(), IDD_TEST_SANS_SERIF, 0));
    EXPECT_EQ(nullptr, dialog.Handle());
    dialog.onPosted = [](ProbeDialog& probe) { PostMessageW(probe.Handle(), WM_CLOSE, 0, 0); };
    EXPECT_EQ(0, dialog.DoModal(Module(), IDD_TEST_SANS_SERIF_EX, 0, nullptr));
    // Other commands leave the dialog running.
    dialog.onPosted = [](ProbeDialog& probe) {
        SendMessageW(probe.Handle(), WM_COMMAND, IDOK, 0);
        probe.EndDialogWith(IsWindow(probe.Handle()) ? 5 : 6);
    };
    EXPECT_EQ(5, dialog.DoModal(Module(), IDD_TEST_SANS_SERIF, 0));
    EXPECT_EQ(3, dialog.canEndCalls);
}

TEST(DialogBase, FailedInitOrMissingResourceGivesMinusOne) {
    ProbeDialog dialog;
    dialog.initResult = 0;
    EXPECT_EQ(-1, dialog.DoModal(Module(), IDD_TEST_SANS_SERIF, 0));
    EXPECT_EQ(1, dialog.canEndCalls);
    EXPECT_EQ(nullptr, dialog.Handle());
    EXPECT_EQ(-1, dialog.DoModal(Module(), IDD_TEST_MISSING, 0));
    EXPECT_EQ(1, dialog.canEndCalls);
}

TEST(DialogBase, HideFirstShowKeepsAVisibleTemplateHiddenOnce) {
    for (DWORD flags : {(DWORD)0, (DWORD)DIALOG_HIDE_FIRST_SHOW}) {
        ProbeDialog dialog;
        bool visibleAtFirst = false, visibleAfterShow = false;
        dialog.onPosted = [&](ProbeDialog& probe) {
            visibleAtFirst = IsWindowVisible(probe.Handle());
            ShowWindow(probe.Handle(), SW_SHOW);
            visibleAfterShow = IsWindowVisible(probe.Handle());
            probe.EndDialogWith(3);
        };
        EXPECT_EQ(3, dialog.DoModal(Module(), IDD_TEST_VISIBLE, flags));
        EXPECT_EQ(flags == 0, visibleAtFirst);
        EXPECT_TRUE(visibleAfterShow);
    }
}

TEST(DialogBase, SelfDeletingDialogGoesWithItsWindow) {
    bool destroyed = false;
    ProbeDialog* modal = new ProbeDialog;
    modal->destroyed = &destroyed;
    modal->onPosted = [](ProbeDialog& probe) { PostMessageW(probe.Handle(), WM_COMMAND, IDCANCEL, 0); };
    EXPECT_EQ(0, modal->DoModal(Module(), IDD_TEST_SANS_SERIF, DIALOG_SELF_DELETE));
    EXPECT_TRUE(destroyed);

    destroyed = false;
    ProbeDialog* modeless = new ProbeDialog;
    modeless->destroyed = &destroyed;
    HWND window = modeless->Create(Module(), IDD_TEST_SANS_SERIF, DIALOG_SELF_DELETE, nullptr);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(destroyed);
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(window));

    // Destroyed with its owner, a modeless dialog leaves its object without a dead handle.
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, Module(), nullptr);
    ProbeDialog owned;
    window = owned.Create(Module(), IDD_TEST_SANS_SERIF, 0, owner);
    ASSERT_EQ(window, owned.Handle());
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, owned.Handle());
}

TEST(DialogBase, DialogRunsInTheRewrittenFont) {
    MessageFontOverride override;
    ASSERT_TRUE(override.Set(L"Tahoma", -13));
    DWORD size = 0;
    const void* resource = LoadResourceLang(Module(), RT_DIALOG, MAKEINTRESOURCEW(IDD_TEST_SANS_SERIF_EX), 0, &size);
    // What the rewrite makes of the template, as the system shows it.
    DialogTemplate expected;
    ASSERT_TRUE(expected.Rewrite(resource, size, 0));
    HWND shown = CreateDialogIndirectParamW(Module(), expected.Template(), nullptr, nullptr, 0);
    LOGFONTW font = {};
    GetObjectW((HFONT)SendMessageW(shown, WM_GETFONT, 0, 0), sizeof(font), &font);
    DestroyWindow(shown);

    ProbeDialog dialog;
    dialog.onPosted = [](ProbeDialog& probe) { probe.EndDialogWith(1); };
    EXPECT_EQ(1, dialog.DoModal(Module(), IDD_TEST_SANS_SERIF_EX, 0));
    EXPECT_STRNE(L"MS Sans Serif", dialog.font.lfFaceName);
    EXPECT_STREQ(font.lfFaceName, dialog.font.lfFaceName);
    EXPECT_EQ(font.lfHeight, dialog.font.lfHeight);
}
