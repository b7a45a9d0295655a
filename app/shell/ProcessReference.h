#pragma once
// The process's reference for the shell: a free-threaded, reference-counted object published with
// SHSetInstanceExplorer (and SetProcessReference from Windows 8 on). The shell's components hold a
// reference to it while they still work for this process on threads of their own (a verb carried out by
// DDE or a DelegateExecute handler, a property sheet), so that a run which ends after its command can tell
// whether anything is still on its way.

#include <windows.h>

#include <unknwn.h>

class ProcessReference {
public:
    ProcessReference() = default;
    // Withdraws the object and lets go of this owner's reference; the object itself goes with the last one.
    ~ProcessReference();
    ProcessReference(const ProcessReference&) = delete;
    ProcessReference& operator=(const ProcessReference&) = delete;

    // Makes the object and publishes it; once per owner, later calls only answer. 1 when published.
    int Publish();
    // 1 while anyone but this owner (and what publishing itself holds) has a reference.
    int HeldByShell() const;
    // 1 while the shell holds references and waitMs have not passed since the first call that found it
    // holding them: a component that never lets go does not keep the process for good.
    int KeepsProcess(DWORD waitMs);
    // The published object, without a reference of its own; null before Publish.
    IUnknown* Object() const;

private:
    class Counter;
    Counter* counter = nullptr;
    // The count right after publishing: whatever publishing took itself.
    LONG published = 0;
    DWORD heldSince = 0;
    int waiting = 0;
};
