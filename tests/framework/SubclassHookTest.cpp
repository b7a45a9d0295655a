#include "framework/SubclassHook.h"

#include <gtest/gtest.h>

namespace {

// The window's own procedure answers MSG_BASE + n with OriginalAnswer + n.
const UINT MSG_BASE = WM_APP + 10;
const LRESULT OriginalAnswer = 1000;

LRESULT CALLBACK OriginalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= MSG_BASE && message < MSG_BASE + 10)
        return OriginalAnswer + (message - MSG_BASE);
    return DefWindowProcW(window, message, wParam, lParam);
}

// How a hook's callback answers: it handles message MSG_BASE + handles with the answer (or without
// setting one), and may detach its hook on the way.
struct Behaviour {
    UINT handles;
    LRESULT answer;
    bool setsResult;
    SubclassHookBase* detach;
};

int Callback(HWND, UINT message, WPARAM, LPARAM, LRESULT* result, void* userData) {
    Behaviour* behaviour = static_cast<Behaviour*>(userData);
    if (behaviour->detach)
        behaviour->detach->Detach();
    if (message != MSG_BASE + behaviour->handles)
        return 0;
    if (behaviour->setsResult)
        *result = behaviour->answer;
    return 1;
}

class SubclassHookTest : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW description = {};
        description.lpfnWndProc = OriginalProc;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = L"VeltrixHookTest";
        RegisterClassW(&description);
        window = CreateWindowExW(0, L"VeltrixHookTest", L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, window);
        original = Procedure();
    }
    void TearDown() override { DestroyWindow(window); }

    WNDPROC Procedure() const { return (WNDPROC)GetWindowLongPtrW(window, GWLP_WNDPROC); }
    LRESULT Send(UINT n) const { return SendMessageW(window, MSG_BASE + n, 0, 0); }

    HWND window = nullptr;
    WNDPROC original = nullptr;
};

} // namespace

TEST_F(SubclassHookTest, SecondHookOfAKindIsRefusedAndTheFirstStays) {
    Behaviour first = {1, 11, true, nullptr}, second = {1, 22, true, nullptr};
    SubclassHook<HOOK_LABEL> hook, other;
    ASSERT_TRUE(hook.Attach(window, Callback, &first));
    EXPECT_EQ(&hook, GetPropW(window, L"_C_SubClassing_Property_73746178")); // "stax"
    const WNDPROC hooked = Procedure();
    EXPECT_FALSE(other.Attach(window, Callback, &second));
    EXPECT_FALSE(hook.Attach(window, Callback, &second));
    EXPECT_FALSE(other.Detach());
    EXPECT_EQ(hooked, Procedure());
    EXPECT_EQ(11, Send(1));
    EXPECT_EQ(OriginalAnswer + 2, Send(2));
}

TEST_F(SubclassHookTest, TwoKindsStackAndDetachInReverseOrder) {
    Behaviour tray = {1, 100, true, nullptr}, update = {2, 200, true, nullptr};
    SubclassHook<HOOK_TRAY_ICON> trayHook;
    SubclassHook<HOOK_UPDATE_CHECKER> updateHook;
    ASSERT_TRUE(trayHook.Attach(window, Callback, &tray));
    const WNDPROC trayProc = Procedure();
    ASSERT_TRUE(updateHook.Attach(window, Callback, &update));
    EXPECT_NE(trayProc, Procedure()); // each kind has its own window procedure
    EXPECT_EQ(100, Send(1));
    EXPECT_EQ(200, Send(2));
    EXPECT_EQ(OriginalAnswer + 3, Send(3));

    ASSERT_TRUE(updateHook.Detach());
    EXPECT_EQ(trayProc, Procedure());
    EXPECT_EQ(nullptr, GetPropW(window, L"_C_SubClassing_Property_61757570")); // "auup"
    EXPECT_EQ(OriginalAnswer + 2, Send(2));
    EXPECT_EQ(100, Send(1));
    ASSERT_TRUE(trayHook.Detach());
    EXPECT_EQ(original, Procedure());
    EXPECT_EQ(nullptr, GetPropW(window, L"_C_SubClassing_Property_7368656C")); // "shel"
    EXPECT_FALSE(trayHook.Detach());
}

TEST_F(SubclassHookTest, AnswersOfHandledAndUnhandledMessages) {
    // Handled without a result set: the answer is 0, not the original procedure's.
    Behaviour silent = {1, 55, false, nullptr};
    {
        SubclassHook<HOOK_DIVIDER> hook;
        ASSERT_TRUE(hook.Attach(window, Callback, &silent));
        EXPECT_EQ(0, Send(1));
        EXPECT_EQ(OriginalAnswer + 2, Send(2));
    }
    EXPECT_EQ(original, Procedure()); // the destructor detaches
    EXPECT_EQ(OriginalAnswer + 1, Send(1));

    // A callback that detaches its own hook: the message it leaves alone still reaches the window.
    SubclassHook<HOOK_SYSLINK> hook;
    Behaviour detaching = {1, 55, true, &hook};
    ASSERT_TRUE(hook.Attach(window, Callback, &detaching));
    EXPECT_EQ(OriginalAnswer + 2, Send(2));
    EXPECT_FALSE(hook.IsAttached());
    EXPECT_EQ(original, Procedure());
}
