#pragma once
// Starting a program with the signed-in user's own rights from a process that runs with an
// administrator's (an installer that elevated): the request goes to the shell of the user's desktop,
// whose ShellExecute runs in Explorer's process. A program started straight from the elevated process
// would inherit its token: a Start menu whose every program starts as administrator, and whose window
// the taskbar may not reach.

class UnelevatedRun {
public:
    // 1 when this process runs with a full administrator's token while a limited one is the user's own
    // (User Account Control is on and the process was elevated).
    static int IsElevated();
    // Asks the desktop's shell to start the program with those arguments (COM started on this thread); 1
    // when it took the request. 0 where there is no such shell (no Explorer, or one that does not answer).
    static int Run(const wchar_t* program, const wchar_t* arguments);
};
