#pragma once
// The steps that put an update's files in place and take them out again, each one written through to the
// disk and recorded in the swap journal first, so that whatever step a crash stops at, the next start
// finds a complete program: the previous version or the new one, never a folder without its program.
//
// No step ever leaves a target without a complete file under its name: existing targets are copied to
// their "_old" names before anything moves, and every "_new" file replaces its target in one rename.

#include "base/WString.h"
#include "update/SwapJournal.h"

class FileSwap {
public:
    // Results of MoveIn and Undo.
    enum Result { FAILED = 0, COMPLETE = 1, LEFT_RUNNING = 2 };

    // Called after every step; answering 0 stops the swap right there, as if the process had ended, so
    // that a test can start the program on the folder as each step leaves it. No hook in the program.
    typedef int (*StepHook)(void* context);
    static void SetStepHook(StepHook hook, void* context);

    // `folder` with a trailing backslash.
    FileSwap(const wchar_t* folder, SwapJournal& journal) : folder(folder), journal(journal) {}

    // Records the journal as it stands (and its state).
    int Save(SwapJournal::State state);
    // STAGE: copies every target there was to its "_old" name, flushed, then records MOVE.
    int Backup();
    // MOVE: renames every "_new" file still waiting over its target, then records DONE (no start yet).
    // The file at `running` (the running program's own, which Windows does not let go while it runs) is
    // left waiting: LEFT_RUNNING, for a copy of the previous program to finish once this one has ended.
    Result MoveIn(const wchar_t* running);
    // UNDO (recorded first): every target there was comes back from its "_old" copy, every one the update
    // added goes, and so do the update's "_new" files, downloads and empty folders; then the journal goes.
    // `running` as for MoveIn.
    Result Undo(const wchar_t* running);
    // STAGE left behind: the attempt's "_new" files, downloads, "_old" copies, folders and installer
    // download go, then the journal.
    int Discard();
    // The new version started (CONFIRMED recorded first): the "_old" copies go, then the journal. 0 when a
    // copy could not go yet (the program that finished the swap still runs from it).
    int Finish();
    // 1 when a step hook stopped the swap: nothing more may be done by this process.
    int Stopped() const { return stopped; }

    void PathOf(const WString& name, const wchar_t* mark, WString& path) const;

private:
    int Step();
    int RemoveFile(const WString& path);
    void RemoveLeftovers(int withCopies);

    WString folder;
    SwapJournal& journal;
    int stopped = 0;
};
