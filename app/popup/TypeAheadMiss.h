#pragma once
// Told when what was typed into an open popup matches none of its items, before the letters are dropped.

#include <windows.h>

class TypeAheadMiss {
public:
    virtual ~TypeAheadMiss() = default;
    // 1 when the text was taken here (a search of it begins): the popup's own typing then starts afresh.
    virtual int OnTypedMiss(HMENU menu, const wchar_t* typed, int length) = 0;
};
