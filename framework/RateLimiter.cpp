#include "framework/RateLimiter.h"

RateLimiter::RateLimiter(DWORD kibPerSecond) : rate(kibPerSecond) {
    if (rate) {
        watch.UseHighResolution(1);
        watch.Start();
    }
}

void RateLimiter::After(DWORD bytes) {
    if (!rate)
        return;
    watch.Stop();
    // Computed in one step: bytes / 1024 alone would be 0 for every block below 1 KiB.
    unsigned long long due = (unsigned long long)bytes * 1000 / (1024ull * rate);
    unsigned long long spent = watch.Milliseconds();
    if (due > spent)
        Sleep((DWORD)(due - spent));
    watch.Start();
}
