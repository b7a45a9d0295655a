#pragma once
// A memory device context, compatible with the given one (the screen's for null), deleted with the object.

#include <windows.h>

class MemoryDc {
public:
    explicit MemoryDc(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
    ~MemoryDc() {
        if (dc)
            DeleteDC(dc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    operator HDC() const { return dc; }

private:
    HDC dc;
};
