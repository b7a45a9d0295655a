#include "base/ReportHeap.h"

#include <windows.h>

#include <new>
#include <stdlib.h>
#include <string.h>

void* ReportHeap::heap = nullptr;
void* ReportHeap::base = nullptr;
volatile int ReportHeap::switched = 0;

int ReportHeap::Reserve(size_t size, size_t committed) {
    if (heap)
        return 1;
    // A heap with a maximum size is one reservation made now: nothing about it has to be asked of the
    // system after a crash, and whether a block belongs to it is told by its allocation base.
    HANDLE made = HeapCreate(0, committed, size);
    if (!made)
        return 0;
    MEMORY_BASIC_INFORMATION region = {};
    void* probe = HeapAlloc(made, 0, 16);
    if (!probe || !VirtualQuery(probe, &region, sizeof(region))) {
        HeapDestroy(made);
        return 0;
    }
    HeapFree(made, 0, probe);
    base = region.AllocationBase;
    heap = made;
    return 1;
}

void ReportHeap::Switch() {
    if (heap)
        switched = 1;
}

int ReportHeap::Owns(const void* block) {
    MEMORY_BASIC_INFORMATION region = {};
    return block && base && VirtualQuery(block, &region, sizeof(region)) && region.AllocationBase == base;
}

void* ReportHeap::Allocate(size_t bytes) {
    if (!switched)
        return malloc(bytes);
    return HeapAlloc(heap, 0, bytes ? bytes : 1);
}

void* ReportHeap::Reallocate(void* block, size_t oldBytes, size_t bytes) {
    if (!switched)
        return realloc(block, bytes);
    if (!block)
        return Allocate(bytes);
    if (Owns(block))
        return HeapReAlloc(heap, 0, block, bytes ? bytes : 1);
    void* copy = Allocate(bytes);
    if (copy)
        memcpy(copy, block, oldBytes < bytes ? oldBytes : bytes);
    return copy;
}

void ReportHeap::Release(void* block) {
    if (!block)
        return;
    if (!switched)
        free(block);
    else if (Owns(block))
        HeapFree(heap, 0, block);
}

// Every C++ object of the program is allocated here, so that the switch covers them too (the dialog's
// controls, the HTTP client's parts). Before the switch these are plain malloc and free, as the
// runtime's own would be.
void* operator new(size_t bytes) {
    void* block = ReportHeap::Allocate(bytes);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void* operator new[](size_t bytes) {
    return operator new(bytes);
}

void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    return ReportHeap::Allocate(bytes);
}

void* operator new[](size_t bytes, const std::nothrow_t&) noexcept {
    return ReportHeap::Allocate(bytes);
}

void operator delete(void* block) noexcept {
    ReportHeap::Release(block);
}

void operator delete[](void* block) noexcept {
    ReportHeap::Release(block);
}

void operator delete(void* block, size_t) noexcept {
    ReportHeap::Release(block);
}

void operator delete[](void* block, size_t) noexcept {
    ReportHeap::Release(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    ReportHeap::Release(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    ReportHeap::Release(block);
}
