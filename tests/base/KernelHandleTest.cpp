#include "base/KernelHandle.h"

#include <gtest/gtest.h>

#include <utility>

// Each way an owner can end with a real event in it: whether the event is closed afterwards, exactly once.
TEST(KernelHandle, ClosesWhatItOwnsAndNothingItGaveAway) {
    const struct {
        const char* what;
        void (*act)(HANDLE event);
        int closed;
    } cases[] = {
        {"destroyed", [](HANDLE event) { KernelHandle owner(event); }, 1},
        {"given away", [](HANDLE event) { KernelHandle(event).Release(); }, 0},
        {"reset", [](HANDLE event) { EXPECT_EQ(1, KernelHandle(event).Reset()); }, 1},
        {"reset to itself",
         [](HANDLE event) {
             KernelHandle owner(event);
             EXPECT_EQ(0, owner.Reset(event));
             owner.Release();
         },
         0},
        {"moved, then destroyed",
         [](HANDLE event) {
             KernelHandle first(event);
             KernelHandle second(std::move(first));
             EXPECT_FALSE(first.Valid());
         },
         1},
        {"move-assigned, then given away",
         [](HANDLE event) {
             KernelHandle first(event), second;
             second = std::move(first);
             EXPECT_EQ(event, second.Release());
         },
         0},
    };
    for (const auto& test : cases) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, event);
        test.act(event);
        DWORD flags = 0;
        int open = GetHandleInformation(event, &flags) != 0;
        EXPECT_EQ(test.closed, !open) << test.what;
        if (open)
            CloseHandle(event);
    }
    // What the opening functions report for failure is no handle to close.
    EXPECT_FALSE(KernelHandle(INVALID_HANDLE_VALUE).Valid());
    EXPECT_EQ(0, KernelHandle(nullptr).Reset());
}
