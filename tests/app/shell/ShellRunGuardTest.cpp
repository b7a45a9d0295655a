#include "app/shell/ShellRun.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

LONG WINAPI NoteUnhandled(EXCEPTION_POINTERS*) {
    ADD_FAILURE() << "the fault reached the process's exception filter";
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

// A fault inside the shell call (a file name the shell cannot read) is a failed launch, not the end of the
// process; the thread's exception handling works as before afterwards.
TEST(ShellRun, FaultInsideShellCallReturnsZero) {
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(NoteUnhandled);
    const wchar_t* unreadable = reinterpret_cast<const wchar_t*>(static_cast<ULONG_PTR>(0x10));
    EXPECT_EQ(0, ShellRun(unreadable, nullptr, nullptr, SW_HIDE, SHELL_AS_USER, L"open"));
    // Again: the first fault left the guard in order.
    EXPECT_EQ(0, ShellRun(unreadable, nullptr, nullptr, SW_HIDE, SHELL_AS_USER, L"open"));
    SetUnhandledExceptionFilter(previous);

    bool caught = false;
    try {
        throw std::runtime_error("after the fault");
    } catch (const std::runtime_error&) {
        caught = true;
    }
    EXPECT_TRUE(caught);
}
