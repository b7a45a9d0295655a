#pragma once
// Where the program's own memory comes from: the C heap, until a crash is being reported. The crash
// reporter reserves a heap of its own when it is armed and switches to it the moment a crash arrives;
// from then on every block the program allocates (strings, C++ objects, buffers) comes from that heap,
// and no block of the C heap is touched again: the crashed thread may hold the C heap's lock, or the
// C heap may be what broke. Blocks of the C heap released after the switch are left where they are.

#include <stddef.h>

class ReportHeap {
public:
    // Reserves the heap (`size` bytes of address space, the first `committed` of them backed at once);
    // 1 when it is there. Once only: later calls keep the first heap.
    static int Reserve(size_t size, size_t committed);
    // From now on allocations come from the reserved heap (where there is one). There is no way back.
    static void Switch();
    static int Switched() { return switched; }

    static void* Allocate(size_t bytes);
    // `oldBytes` is the size the caller knows the block to have: after the switch a block of the C heap
    // is copied into a new one rather than grown (its own size would have to be asked of the C heap).
    static void* Reallocate(void* block, size_t oldBytes, size_t bytes);
    static void Release(void* block);
    // 1 when the block lies in the reserved heap.
    static int Owns(const void* block);

private:
    static void* heap;
    static void* base;
    static volatile int switched;
};
