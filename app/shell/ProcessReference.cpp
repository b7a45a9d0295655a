#include "app/shell/ProcessReference.h"

#include "base/ComCounted.h"
#include "base/Library.h"

#include <new>

namespace {

typedef void(WINAPI* SetReferenceFn)(IUnknown*);

// SHSetInstanceExplorer (shell32, XP on) and SetProcessReference (shcore, Windows 8 on), looked up at run
// time so that Vista and 7 start without the latter. Both libraries stay loaded: each keeps the object in
// a variable of its own.
struct Publishers {
    SetReferenceFn instanceExplorer = nullptr;
    SetReferenceFn processReference = nullptr;
};

const Publishers& Functions() {
    static const Publishers functions = [] {
        Publishers found;
        Library shell(L"shell32.dll"), core(L"shcore.dll");
        found.instanceExplorer = shell.Get<SetReferenceFn>("SHSetInstanceExplorer");
        found.processReference = core.Get<SetReferenceFn>("SetProcessReference");
        shell.Detach();
        core.Detach();
        return found;
    }();
    return functions;
}

void PublishObject(IUnknown* object) {
    const Publishers& functions = Functions();
    if (functions.instanceExplorer)
        functions.instanceExplorer(object);
    if (functions.processReference)
        functions.processReference(object);
}

} // namespace

// Free-threaded (see ComCounted): the shell's threads take and drop references at any time.
class ProcessReference::Counter final : public ComCounted<IUnknown> {
public:
    Counter() : ComCounted<IUnknown>(IID_IUnknown) {}
    LONG Count() const { return References(); }
};

ProcessReference::~ProcessReference() {
    if (!counter)
        return;
    // Taken back first: the shell's variables must not name the object once it may be gone.
    PublishObject(nullptr);
    counter->Release();
}

int ProcessReference::Publish() {
    if (counter)
        return 1;
    counter = new (std::nothrow) Counter;
    if (!counter)
        return 0;
    PublishObject(counter);
    published = counter->Count();
    return 1;
}

int ProcessReference::HeldByShell() const {
    return counter && counter->Count() > published;
}

int ProcessReference::KeepsProcess(DWORD waitMs) {
    if (!HeldByShell()) {
        waiting = 0;
        return 0;
    }
    if (!waiting) {
        waiting = 1;
        heldSince = GetTickCount();
    }
    return GetTickCount() - heldSince < waitMs;
}

IUnknown* ProcessReference::Object() const {
    return counter;
}
