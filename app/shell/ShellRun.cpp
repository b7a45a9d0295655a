#include "app/shell/ShellRun.h"

#include "base/ShellRequest.h"
#include "base/WString.h"

// A shell extension that faults inside ShellExecuteExW must not end a resident instance: the call runs
// inside GuardedCall, whose own stack frame carries a structured-exception handler. A frame handler (not
// a vectored one) sees only what nothing nearer the fault handled, so exceptions the shell catches for
// itself pass by untouched. GCC has no __try/__except, so the frame is written in assembly: on x64 its
// handler is named in the function's unwind data and lands with RtlUnwindEx on the recovery label, which
// runs the unwind handlers of the frames in between; on x86 the frame links a registration record into
// the thread's chain at fs:[0], and the handler unwinds the frames in between with RtlUnwind before it
// resumes at the recovery label with the stack pointer at the record. Either way GuardedCall returns -1.
extern "C" {
typedef int(WINAPI* GuardedFn)(void* argument);
int GuardedCall(GuardedFn function, void* argument);
EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void* dispatcher);
}

#ifdef _WIN64

__asm__(".text\n"
        ".globl GuardedCall\n"
        ".def GuardedCall; .scl 2; .type 32; .endef\n"
        ".seh_proc GuardedCall\n"
        "GuardedCall:\n"
        "    subq $40, %rsp\n"
        "    .seh_stackalloc 40\n"
        "    .seh_endprologue\n"
        "    .seh_handler GuardHandler, @except\n"
        "    movq %rcx, %rax\n"
        "    movq %rdx, %rcx\n"
        "    call *%rax\n"
        // Keeps the return address off the epilogue, where the unwinder would not ask the handler.
        "    nop\n"
        "    addq $40, %rsp\n"
        "    ret\n"
        ".globl GuardedCallRecover\n"
        "GuardedCallRecover:\n"
        "    movl $-1, %eax\n"
        "    addq $40, %rsp\n"
        "    ret\n"
        ".seh_endproc\n");

extern "C" void GuardedCallRecover();

EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void* dispatcher) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    DISPATCHER_CONTEXT* dispatch = static_cast<DISPATCHER_CONTEXT*>(dispatcher);
    RtlUnwindEx(frame, reinterpret_cast<void*>(GuardedCallRecover), record, reinterpret_cast<void*>(-1),
                dispatch->ContextRecord, dispatch->HistoryTable);
    return ExceptionContinueSearch; // not reached: RtlUnwindEx resumes at the recovery label
}

#else

// Stack while the function runs, from the record up: next, handler, edi, esi, ebx, ebp, return address,
// function, argument.
__asm__(".text\n"
        ".globl _GuardedCall\n"
        "_GuardedCall:\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    pushl %ebx\n"
        "    pushl %esi\n"
        "    pushl %edi\n"
        "    pushl $_GuardHandler\n"
        "    pushl %fs:0\n"
        "    movl %esp, %fs:0\n"
        "    pushl 12(%ebp)\n"
        "    call *8(%ebp)\n" // stdcall: the callee removes its argument
        "GuardedCallLeave:\n"
        "    movl (%esp), %ecx\n"
        "    movl %ecx, %fs:0\n"
        "    addl $8, %esp\n"
        "    popl %edi\n"
        "    popl %esi\n"
        "    popl %ebx\n"
        "    popl %ebp\n"
        "    ret\n"
        // Entered with the record's address as its only argument, from the handler.
        ".globl _GuardedCallRecover\n"
        "_GuardedCallRecover:\n"
        "    movl 4(%esp), %esp\n"
        "    movl $-1, %eax\n"
        "    jmp GuardedCallLeave\n");

extern "C" void GuardedCallRecover(void* record) __attribute__((noreturn));

EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    // RtlUnwind keeps neither ebx, esi nor edi: the record's address is read back from memory.
    void* volatile registration = frame;
    RtlUnwind(frame, nullptr, record, nullptr);
    GuardedCallRecover(registration);
}

#endif

namespace {

int WINAPI Execute(void* argument) {
    return static_cast<const ShellRequest*>(argument)->Send();
}

int Run(ShellRequest& request) {
    // The call returns only once the launch is done (SEE_MASK_NOASYNC): a once-mode run ends right after
    // it, and a verb carried out by DDE or a DelegateExecute handler would otherwise still be on its way
    // on a thread of the shell's when the process goes. The shell shows its own error dialogs (no
    // SEE_MASK_FLAG_NO_UI).
    request.flags |= ShellRequest::WAIT_FOR_LAUNCH;
    // A fault inside the shell (-1) is a failure like any other.
    return GuardedCall(Execute, &request) == 1 ? 1 : 0;
}

} // namespace

int ShellRun(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory, int showCommand,
             ShellElevation elevation, const wchar_t* verb) {
    ShellRequest request;
    request.verb = elevation == SHELL_ELEVATED ? L"runas" : verb;
    request.file = file;
    request.parameters = parameters;
    request.directory = directory;
    request.show = showCommand;
    return Run(request);
}

int ShellRunItem(PCIDLIST_ABSOLUTE item, const wchar_t* parameters, int showCommand, const wchar_t* verb) {
    // The item's own context menu carries out the verb, as when Explorer opens it.
    ShellRequest request;
    request.item = item;
    request.verb = verb;
    request.parameters = parameters;
    request.show = showCommand;
    return item ? Run(request) : 0;
}

int ShellOpen(const wchar_t* text) {
    return ShellRun(text, nullptr, nullptr, SW_SHOWDEFAULT, SHELL_AS_USER, L"open");
}

int OpenUrl(const wchar_t* address) {
    WString parameters;
    parameters.Format(L"url.dll,FileProtocolHandler %s", address ? address : L"");
    return ShellRun(L"rundll32.exe", parameters, nullptr, SW_SHOWDEFAULT, SHELL_AS_USER, L"open");
}
