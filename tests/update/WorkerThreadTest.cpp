#include "update/WorkerThread.h"

#include "base/Event.h"

#include <gtest/gtest.h>

namespace {

DWORD WaitForGate(void* gate, UINT_PTR value) {
    WaitForSingleObject(static_cast<Event*>(gate)->Handle(), INFINITE);
    return (DWORD)value + 1;
}

DWORD Count(void* calls, UINT_PTR) {
    return (DWORD)InterlockedIncrement(static_cast<LONG*>(calls));
}

int timerTicks = 0;
void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    timerTicks++;
}

} // namespace

TEST(WorkerThread, RunsOneFunctionAtATimeAndKeepsItsResult) {
    Event gate;
    ASSERT_EQ(1, gate.Create(Event::MANUAL_RESET, Event::UNSIGNALLED, nullptr, Event::SESSION_NAME));
    LONG calls = 0;
    WorkerThread worker;
    EXPECT_EQ(0, worker.Wait(100));
    ASSERT_EQ(1, worker.Start(WaitForGate, &gate, 41));
    // A second start leaves the running thread alone.
    EXPECT_EQ(0, worker.Start(Count, &calls, 0));
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_EQ(0, worker.Wait(50));
    EXPECT_TRUE(worker.IsRunning());
    gate.Set();
    EXPECT_EQ(1, worker.Wait(0));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(42u, worker.Result());
    EXPECT_EQ(0, calls);
    // Ended threads report so to a later wait, and the object runs the next function.
    EXPECT_EQ(1, worker.Wait(10));
    ASSERT_EQ(1, worker.Start(Count, &calls, 0));
    EXPECT_EQ(1, worker.Wait((DWORD)-1));
    EXPECT_EQ(1u, worker.Result());
    EXPECT_EQ(1, calls);
}

TEST(WorkerThread, WaitDispatchesMessagesAndGivesWayToQuit) {
    Event gate;
    ASSERT_EQ(1, gate.Create(Event::MANUAL_RESET, Event::UNSIGNALLED, nullptr, Event::SESSION_NAME));
    WorkerThread worker;
    ASSERT_EQ(1, worker.Start(WaitForGate, &gate, 0));
    timerTicks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, OnTimer);
    EXPECT_EQ(0, worker.Wait(300));
    KillTimer(nullptr, timer);
    EXPECT_GT(timerTicks, 0);

    PostQuitMessage(7);
    EXPECT_EQ(0, worker.Wait(0));
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, message.wParam);

    // Stopping ends the blocked thread by force.
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(0u, worker.Result());
    EXPECT_EQ(0, worker.Wait(10));
}
