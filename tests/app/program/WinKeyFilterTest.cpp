#include "app/program/WinKeyFilter.h"

#include <gtest/gtest.h>

#include <vector>

// The keyboard's state as the filter asks it: F1 and the right Windows key were released where the hook
// does not see (an elevated window, the lock screen).
static int IsDownExceptF1(UINT key) {
    return key != VK_F1 && key != VK_RWIN;
}

TEST(WinKeyFilterTest, OnlyAWindowsKeyReleasedWithNothingBetweenIsALonePress) {
    const int Win = VK_LWIN, R = 'R', Shift = VK_LSHIFT, Ctrl = VK_LCONTROL;
    // Keys pressed (negative: released), and whether the last release is a lone press's.
    const std::pair<std::vector<int>, bool> cases[] = {
        {{Win, -Win}, true},
        {{Win, Win, Win, -Win}, true},     // held long: its repeats
        {{Win, R, -Win, -R}, false},       // R released last
        {{Ctrl, Win, -Ctrl, -Win}, false}, // a combination begun before it
        {{Win, VK_RWIN, -VK_RWIN, -Win}, false},
        {{Win, -Shift, -Win}, false}, // a release whose press was not seen
        {{VK_F1, Win, -Win}, true},   // a key counted as held, though it is up
        {{Win, R, -R, -Win, Win, -Win}, true},
        {{VK_RWIN, R, -R, VK_RWIN, -VK_RWIN}, true}, // Win+R's release of Win went to the lock screen
    };
    for (const auto& [keys, lone] : cases) {
        WinKeyFilter filter(IsDownExceptF1);
        for (size_t i = 0; i < keys.size(); ++i) {
            int key = keys[i];
            WinKeyFilter::Verdict verdict = filter.OnKey((UINT)(key < 0 ? -key : key), key < 0);
            bool last = i + 1 == keys.size();
            EXPECT_EQ(last && lone ? WinKeyFilter::LONE_RELEASE : WinKeyFilter::PASS, verdict) << keys[0] << " " << i;
        }
    }
}
