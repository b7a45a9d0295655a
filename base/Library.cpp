#include "base/Library.h"

int Library::Load(const wchar_t* fileName) {
    Free();
    if (!fileName)
        return 0;
    // No "insert a disk" or "file not found" boxes while probing for optional libraries.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module = LoadLibraryW(fileName);
    SetErrorMode(oldMode);
    return module != nullptr;
}

FARPROC Library::GetProc(const char* name) const {
    if (!module || !name)
        return nullptr;
    return GetProcAddress(module, name);
}

void Library::Free() {
    if (module)
        FreeLibrary(module);
    module = nullptr;
}
