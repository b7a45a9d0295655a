#pragma once
// Placed at the top of a window procedure that the system calls back (WM_CREATE from inside
// CreateWindowEx, WM_DRAWITEM from inside TrackPopupMenu's loop): a fault that nothing inside handled
// goes to the process's crash reporter (the filter given to SetFilter) before the callback's way back
// through the kernel is reached. There, 32-bit programs on 64-bit Windows without
// the process's exception policy (before Windows 7 SP1), and Wine in any case, swallow the exception
// and let the program go on in a broken state without a report. Once the filter has written its report
// the process ends with the exception's code. 32-bit only: it adds a frame to the chain of exception registrations of
// the thread; the 64-bit build's handling is table-based and is left as it is.

#include <windows.h>

class CallbackGuard {
public:
    // The filter that reports a crash; none: guards do nothing.
    static void SetFilter(LPTOP_LEVEL_EXCEPTION_FILTER report);

    CallbackGuard();
    ~CallbackGuard();
    CallbackGuard(const CallbackGuard&) = delete;
    CallbackGuard& operator=(const CallbackGuard&) = delete;

private:
#ifndef _WIN64
    // The system's record of an exception frame: on this thread's stack, linked from the thread's
    // information block for as long as the guard lives.
    struct Registration {
        Registration* next;
        void* handler;
    };
    Registration registration;
#endif
};
