#include "update/SwapRecovery.h"

#include "base/KernelHandle.h"
#include "base/WString.h"
#include "framework/VersionInfo.h"
#include "update/FileSwap.h"
#include "update/SwapJournal.h"
#include "update/UpdateNames.h"

#include <wchar.h>

namespace {

// How long the copy waits for the program it took over from to end, and for the program it started to
// show that it runs.
const DWORD EndWait = 30000;
const DWORD ConfirmWait = 60000;
// A file that stays locked would otherwise hand the swap back and forth at every start.
const unsigned MostHandovers = 3;

KernelHandle Launch(const wchar_t* program, const wchar_t* arguments) {
    WString commandLine, folder(program);
    commandLine.Format(L"\"%s\" %s", program, arguments ? arguments : L"");
    folder.Left(folder.LastIndexOf(L'\\') + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, commandLine.Buffer(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process))
        return KernelHandle();
    CloseHandle(process.hThread);
    return KernelHandle(process.hProcess);
}

// Hands the swap to the "_old" copy of the running program; 1 when this process must now end.
int HandOver(FileSwap& swap, SwapJournal& journal, const wchar_t* self) {
    if (journal.handovers >= MostHandovers)
        return 0;
    journal.handovers++;
    journal.owner = 0;
    return swap.Save(journal.state) && SwapRecovery::StartFinisher(self, SwapRecovery::OwnArguments());
}

} // namespace

const wchar_t* SwapRecovery::OwnArguments() {
    // The program's own name is either quoted up to the next quote or runs up to the first blank, as the
    // process start reads it.
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        const wchar_t* close = wcschr(p + 1, L'"');
        p = close ? close + 1 : p + wcslen(p);
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            p++;
    }
    while (*p == L' ' || *p == L'\t')
        p++;
    return p;
}

int SwapRecovery::StartFinisher(const wchar_t* program, const wchar_t* arguments) {
    WString copy, parameters;
    UpdateNames::MarkedPath(program, L"_old", copy);
    parameters.Format(L"%s %lu %s", FinishSwitch, GetCurrentProcessId(), arguments ? arguments : L"");
    return Launch(copy, parameters).Valid();
}

int SwapRecovery::AtStart() {
    WString folder, self;
    if (!VersionInfo::ModuleDirectory(nullptr, folder) || !SwapJournal::Exists(folder) ||
        !VersionInfo::ModulePath(nullptr, self))
        return 0;
    SwapJournal journal;
    if (!journal.Load(folder)) {
        // Not a record this program wrote whole: it would hold back every later update.
        SwapJournal::Remove(folder);
        return 0;
    }
    // An update another instance is downloading or installing right now (a resident one, while this is
    // a start from the menu's shortcut) is that instance's to finish.
    if (journal.owner && journal.owner != GetCurrentProcessId()) {
        KernelHandle owner(OpenProcess(SYNCHRONIZE, FALSE, journal.owner));
        if (owner.Valid() && WaitForSingleObject(owner.Get(), 0) == WAIT_TIMEOUT)
            return 0;
    }
    FileSwap swap(folder, journal);
    FileSwap::Result result = FileSwap::COMPLETE;
    switch (journal.state) {
        case SwapJournal::STAGE:
            swap.Discard();
            return 0;
        case SwapJournal::CONFIRMED:
            swap.Finish();
            return 0;
        case SwapJournal::MOVE:
            result = swap.MoveIn(self);
            if (result == FileSwap::FAILED)
                result = swap.Undo(self);
            break;
        case SwapJournal::UNDO:
            result = swap.Undo(self);
            break;
        case SwapJournal::DONE:
            // Two starts of the new version did not get as far as its menu or icon: the previous one comes back.
            if (journal.starts >= 2)
                result = swap.Undo(self);
            break;
    }
    if (result == FileSwap::LEFT_RUNNING)
        return HandOver(swap, journal, self);
    // A start of the new version, which confirms it once it is up.
    if (result == FileSwap::COMPLETE && journal.state == SwapJournal::DONE) {
        journal.starts++;
        swap.Save(SwapJournal::DONE);
    }
    return 0;
}

int SwapRecovery::IsFinisher(const wchar_t* arguments) {
    size_t n = wcslen(FinishSwitch);
    return arguments && wcsncmp(arguments, FinishSwitch, n) == 0 && arguments[n] == L' ';
}

int SwapRecovery::Finish(const wchar_t* arguments) {
    const wchar_t* rest = arguments + wcslen(FinishSwitch);
    wchar_t* end = nullptr;
    DWORD previous = (DWORD)wcstoul(rest, &end, 10);
    rest = end;
    while (*rest == L' ')
        rest++;
    // Whatever the program that started this copy does while it closes, the files wait for its end.
    KernelHandle ending(OpenProcess(SYNCHRONIZE, FALSE, previous));
    if (ending.Valid() && WaitForSingleObject(ending.Get(), EndWait) != WAIT_OBJECT_0)
        return 1;
    WString folder, self;
    SwapJournal journal;
    if (!VersionInfo::ModuleDirectory(nullptr, folder) || !VersionInfo::ModulePath(nullptr, self) ||
        !journal.Load(folder))
        return 1;
    // The program is the target whose "_old" copy this is.
    FileSwap swap(folder, journal);
    WString program;
    for (const SwapJournal::Target& target : journal.targets) {
        WString path, old, a, b;
        swap.PathOf(target.name, nullptr, path);
        swap.PathOf(target.name, L"_old", old);
        UpdateNames::Normalized(old, a);
        UpdateNames::Normalized(self, b);
        if (a.Compare(b) == 0)
            program = path;
    }
    if (program.IsEmpty())
        return 1;
    if (journal.state == SwapJournal::MOVE && swap.MoveIn(nullptr) == FileSwap::FAILED)
        swap.Undo(nullptr);
    else if (journal.state == SwapJournal::UNDO)
        swap.Undo(nullptr);
    int watch = journal.state == SwapJournal::DONE;
    KernelHandle started = Launch(program, rest);
    // A new version that does not even start is no version.
    if (watch && !started.Valid() && swap.Undo(nullptr) == FileSwap::COMPLETE)
        Launch(program, rest);
    if (!watch || !started.Valid())
        return 0;
    // Until the new version keeps the update (the journal leaves DONE) or ends without doing so.
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < ConfirmWait;) {
        int ended = WaitForSingleObject(started.Get(), 200) == WAIT_OBJECT_0;
        if (!journal.Load(folder) || journal.state != SwapJournal::DONE)
            return 0;
        if (!ended)
            continue;
        // Ended before it even counted its start: a program that cannot run at all. Any other start
        // that fails is counted by the next, which undoes the update after two.
        if (journal.starts == 0 && swap.Undo(nullptr) == FileSwap::COMPLETE)
            Launch(program, rest);
        return 0;
    }
    return 0;
}

int SwapRecovery::Confirm() {
    WString folder;
    SwapJournal journal;
    if (!VersionInfo::ModuleDirectory(nullptr, folder) || !SwapJournal::Exists(folder) || !journal.Load(folder))
        return 1;
    if (journal.state != SwapJournal::DONE && journal.state != SwapJournal::CONFIRMED)
        return 1;
    FileSwap swap(folder, journal);
    return swap.Finish();
}
