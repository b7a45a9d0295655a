#include "base/CallbackGuard.h"

#include <windows.h>

#include <excpt.h>

#ifndef _WIN64

namespace {

NT_TIB* ThreadBlock() {
    // GCC takes the segment read in NtCurrentTeb for an access to an empty array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    return reinterpret_cast<NT_TIB*>(NtCurrentTeb());
#pragma GCC diagnostic pop
}

LPTOP_LEVEL_EXCEPTION_FILTER filter = nullptr;

// Reached only by an exception that no frame inside the guarded procedure handled. C++ exceptions of
// this program do not come here at all (the 32-bit runtime unwinds them by its own tables).
EXCEPTION_DISPOSITION __cdecl CallbackGuardHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
    if (!record || (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)))
        return ExceptionContinueSearch;
    // Under a debugger the system hands it the exception where it would have anyway.
    LPTOP_LEVEL_EXCEPTION_FILTER report = filter;
    if (!report || IsDebuggerPresent())
        return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers = {record, context};
    LONG answer = report(&pointers);
    if (answer == EXCEPTION_CONTINUE_EXECUTION)
        return ExceptionContinueExecution;
    // Reported: the process ends now, also where the filter would leave it to the system's handling. That
    // handling cannot be had from inside a callback everywhere (Wine swallows the exception on the way
    // back, and a program that goes on after its window procedure faulted hangs or faults again), so the
    // files written are all that is left.
    TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
    return ExceptionContinueSearch;
}

} // namespace

void CallbackGuard::SetFilter(LPTOP_LEVEL_EXCEPTION_FILTER report) {
    filter = report;
}

CallbackGuard::CallbackGuard() {
    NT_TIB* block = ThreadBlock();
    registration.next = reinterpret_cast<Registration*>(block->ExceptionList);
    registration.handler = reinterpret_cast<void*>(CallbackGuardHandler);
    block->ExceptionList = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(&registration);
}

CallbackGuard::~CallbackGuard() {
    ThreadBlock()->ExceptionList = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(registration.next);
}

#else

void CallbackGuard::SetFilter(LPTOP_LEVEL_EXCEPTION_FILTER) {}
CallbackGuard::CallbackGuard() = default;
CallbackGuard::~CallbackGuard() = default;

#endif
