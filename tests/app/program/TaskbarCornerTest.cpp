#include "app/program/TaskbarCorner.h"

#include <gtest/gtest.h>

TEST(TaskbarCornerTest, TheMenuOpensAtTheStartButtonOnTheSideOfTheTaskbarThatFacesTheScreen) {
    // A 1920x1080 monitor right of the primary one; a taskbar 40 pixels thick on each edge in turn.
    const RECT monitor = {1920, 0, 3840, 1080}, button = {1920, 1040, 1968, 1080}, sideButton = {1920, 0, 1960, 48};
    const TaskbarCorner::ButtonSpot start = TaskbarCorner::AT_START;
    struct Case {
        RECT taskbar;
        const RECT* button;
        TaskbarCorner::ButtonSpot spot;
        LONG x, y;
        UINT alignment;
    } cases[] = {
        {{1920, 1040, 3840, 1080}, &button, start, 1920, 1040, TPM_LEFTALIGN | TPM_BOTTOMALIGN},
        {{1920, 1040, 3840, 1080}, nullptr, TaskbarCorner::CENTRED, 2880, 1040, TPM_CENTERALIGN | TPM_BOTTOMALIGN},
        {{1920, 0, 3840, 40}, nullptr, start, 1920, 40, TPM_LEFTALIGN | TPM_TOPALIGN},
        {{1920, 0, 1960, 1080}, &sideButton, start, 1960, 0, TPM_LEFTALIGN | TPM_TOPALIGN},
        {{3800, 0, 3840, 1080}, nullptr, start, 3800, 0, TPM_RIGHTALIGN | TPM_TOPALIGN},
        // Auto-hidden: all but two pixels below the monitor.
        {{1920, 1078, 3840, 1118}, nullptr, start, 1920, 1078, TPM_LEFTALIGN | TPM_BOTTOMALIGN},
    };
    for (const Case& test : cases) {
        TaskbarCorner::Place place = TaskbarCorner::FromRects(test.taskbar, monitor, test.button, test.spot);
        EXPECT_EQ(test.x, place.point.x) << test.taskbar.left << "," << test.taskbar.top;
        EXPECT_EQ(test.y, place.point.y) << test.taskbar.left << "," << test.taskbar.top;
        EXPECT_EQ(test.alignment, place.alignment) << test.taskbar.left << "," << test.taskbar.top;
    }
}
