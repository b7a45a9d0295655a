#pragma once
// One owned kernel handle (a file, event, mutex, thread, token, snapshot or mapping), closed with the
// object. Null and INVALID_HANDLE_VALUE both count as no handle: the functions that open files and
// snapshots report failure with the second, the others with the first.

#include <windows.h>

class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE handle) : handle(handle) {}
    ~KernelHandle() { Reset(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    KernelHandle(KernelHandle&& other) noexcept : handle(other.Release()) {}
    KernelHandle& operator=(KernelHandle&& other) noexcept;

    HANDLE Get() const { return handle; }
    int Valid() const { return handle && handle != INVALID_HANDLE_VALUE; }
    // Closes the handle held and takes this one (none: the object is empty). 1 when one was closed.
    int Reset(HANDLE other = nullptr);
    // Gives the handle away without closing it; the object is empty afterwards.
    HANDLE Release();

private:
    HANDLE handle = nullptr;
};
