#include "base/SlotArray.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

SlotArray::~SlotArray() {
    if (flags & OWNS_ITEMS)
        free(items);
    lock.Delete();
}

int SlotArray::Setup(uintptr_t* buffer, unsigned capacity, unsigned growthStep, unsigned setupFlags) {
    // The lock is left as it was entered: under the old flags, whatever the new ones say.
    const bool locked = !(flags & NO_LOCKING);
    if (locked)
        lock.Enter();
    if (flags & OWNS_ITEMS)
        free(items);
    items = nullptr;
    flags = setupFlags & ~OWNS_ITEMS;
    slotCapacity = capacity;
    growth = growthStep;
    count = 0;
    int result = 1;
    if ((flags & MAY_GROW) || !buffer) {
        items = capacity ? (uintptr_t*)calloc(capacity, sizeof(uintptr_t)) : nullptr;
        if (items)
            flags |= OWNS_ITEMS;
        else if (capacity)
            result = 0;
        if (!items)
            slotCapacity = 0;
    } else {
        items = buffer;
    }
    if (items && (flags & PREFILLED)) {
        memset(items, 0, (size_t)slotCapacity * sizeof(uintptr_t));
        count = slotCapacity;
    }
    if (locked)
        lock.Leave();
    return result;
}

int SlotArray::SetAtLocked(unsigned index, uintptr_t value) {
    if (!items || index >= slotCapacity) {
        if (!(flags & MAY_GROW))
            return 0;
        // Checked arithmetic: on 32-bit Windows a slot count near 2^30 already overflows the byte size,
        // and an index near 2^32 wraps the slot count itself; either would "grow" to a tiny block.
        unsigned step = growth ? growth : 1;
        if (index > UINT_MAX - step)
            return 0;
        unsigned newCapacity = index + step;
        if ((size_t)newCapacity > SIZE_MAX / sizeof(uintptr_t))
            return 0;
        uintptr_t* grown =
            (uintptr_t*)realloc((flags & OWNS_ITEMS) ? items : nullptr, (size_t)newCapacity * sizeof(uintptr_t));
        if (!grown)
            return 0;
        // A caller's buffer is copied into the first array this object owns.
        if (!(flags & OWNS_ITEMS) && items)
            memcpy(grown, items, (size_t)slotCapacity * sizeof(uintptr_t));
        memset(grown + slotCapacity, 0, (size_t)(newCapacity - slotCapacity) * sizeof(uintptr_t));
        items = grown;
        slotCapacity = newCapacity;
        flags |= OWNS_ITEMS;
    }
    if (count < index + 1)
        count = index + 1;
    items[index] = value;
    return 1;
}

int SlotArray::SetAt(unsigned index, uintptr_t value) {
    Enter();
    int result = SetAtLocked(index, value);
    Leave();
    return result;
}

int SlotArray::Add(uintptr_t value) {
    Enter();
    int result = 0;
    bool placed = false;
    for (unsigned i = 0; i < count; i++) {
        if (items[i] == 0) {
            items[i] = value;
            placed = true;
            result = 1;
            break;
        }
    }
    if (!placed)
        result = SetAtLocked(count, value);
    Leave();
    return result;
}

int SlotArray::RemoveValue(uintptr_t value) {
    Enter();
    int found = 0;
    for (unsigned i = 0; i < count; i++) {
        if (items[i] == value) {
            items[i] = 0;
            found = 1;
            break;
        }
    }
    Leave();
    return found;
}

int SlotArray::ForEach(Callback callback, void* userData) {
    Enter();
    int result = 1;
    for (unsigned i = 0; i < count && callback; i++) {
        result = callback(i, items[i], userData);
        if (!result)
            break;
    }
    Leave();
    return result;
}

uintptr_t SlotArray::GetAt(unsigned index) {
    Enter();
    uintptr_t value = (items && index < count) ? items[index] : 0;
    Leave();
    return value;
}
