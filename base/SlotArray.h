#pragma once
// A guarded array of pointer-sized values for small registries of handles and objects; 0 marks an
// empty slot.

#include "base/CriticalSection.h"

#include <stdint.h>

class SlotArray {
public:
    enum : unsigned { MAY_GROW = 1, OWNS_ITEMS = 2, NO_LOCKING = 4, PREFILLED = 8 };
    typedef int (*Callback)(unsigned index, uintptr_t value, void* userData);

    SlotArray() { lock.Init(); }
    ~SlotArray();
    SlotArray(const SlotArray&) = delete;
    SlotArray& operator=(const SlotArray&) = delete;

    int Setup(uintptr_t* buffer, unsigned capacity, unsigned growth, unsigned flags);
    int SetAt(unsigned index, uintptr_t value);
    int Add(uintptr_t value);
    int RemoveValue(uintptr_t value);
    int ForEach(Callback callback, void* userData);
    uintptr_t GetAt(unsigned index);
    unsigned Count() const { return count; }

private:
    int SetAtLocked(unsigned index, uintptr_t value);
    void Enter() {
        if (!(flags & NO_LOCKING))
            lock.Enter();
    }
    void Leave() {
        if (!(flags & NO_LOCKING))
            lock.Leave();
    }

    CriticalSection lock;
    uintptr_t* items = nullptr;
    unsigned flags = 0;
    unsigned count = 0;
    unsigned slotCapacity = 0;
    unsigned growth = 0;
};
