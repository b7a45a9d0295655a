#pragma once
// Keeps a transfer at a number of KiB per second by sleeping after each block for the time the block
// should have taken, less the time that really passed since the previous block.

#include "base/Stopwatch.h"

#include <windows.h>

class RateLimiter {
public:
    // 0: no limit, and After returns at once.
    explicit RateLimiter(DWORD kibPerSecond);
    void After(DWORD bytes);

private:
    DWORD rate;
    Stopwatch watch;
};
