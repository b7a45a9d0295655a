#include "base/KernelHandle.h"

KernelHandle& KernelHandle::operator=(KernelHandle&& other) noexcept {
    if (this != &other)
        Reset(other.Release());
    return *this;
}

int KernelHandle::Reset(HANDLE other) {
    if (other == handle)
        return 0;
    int closed = Valid() && CloseHandle(handle);
    handle = other;
    return closed;
}

HANDLE KernelHandle::Release() {
    HANDLE given = handle;
    handle = nullptr;
    return given;
}
