#pragma once
// An object selected into a device context for the length of a scope; the previous object is put back.

#include <windows.h>

class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc(dc), previous(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelect() {
        if (Selected())
            SelectObject(dc, previous);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

    // SelectObject reports failure as null, and as HGDI_ERROR for regions.
    int Selected() const { return previous && previous != HGDI_ERROR; }

private:
    HDC dc;
    HGDIOBJ previous;
};
