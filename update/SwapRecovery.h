#pragma once
// What a start of the program does about an update's swap (see SwapJournal and FileSwap): finishes one
// that was stopped part way, undoes one that failed or whose new version did not start twice, and,
// once the program is up, keeps the update. Windows does not let a running program's file be replaced
// or deleted, only renamed, so the steps that concern the running program's own file are handed to a
// copy of the previous program (its "_old" file, started with FinishSwitch), which waits for this
// process to end, does them, starts the program again and watches that it starts.

#include <windows.h>

class SwapRecovery {
public:
    static constexpr const wchar_t* FinishSwitch = L"-finish-update";

    // At the start, before anything else. 1 when this process must end at once: the copy was started,
    // and it starts the program again with the same arguments.
    static int AtStart();
    // 1 when the arguments start the copy that finishes a swap (then Finish them, and do nothing else).
    static int IsFinisher(const wchar_t* arguments);
    // The copy's work: "PID ARGUMENTS" after FinishSwitch. Returns the process's exit code.
    static int Finish(const wchar_t* arguments);
    // Starts the copy of the running program at `program` to finish the swap once this process has ended
    // and then start `program` with `arguments`. 1 when it started.
    static int StartFinisher(const wchar_t* program, const wchar_t* arguments);
    // The program is up (its notification icon or its menu): the update stays and the "_old" copies go.
    // 0 when one could not go yet (the copy that started it is still ending): ask again later.
    static int Confirm();
    // The arguments this process was started with: its command line after the program's own name.
    static const wchar_t* OwnArguments();
};
