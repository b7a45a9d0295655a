#include "base/Stopwatch.h"

#include "base/Clock.h"

#include <windows.h>
#include <mmsystem.h>

int Stopwatch::UseHighResolution(int on) {
    if (on != 1) {
        flags &= ~USE_COUNTER;
        return 1;
    }
    LARGE_INTEGER counts;
    if (!QueryPerformanceFrequency(&counts) || counts.QuadPart == 0) {
        flags &= ~USE_COUNTER;
        return 0;
    }
    frequency = (unsigned long long)counts.QuadPart;
    flags |= USE_COUNTER;
    return 1;
}

unsigned long long Stopwatch::Now() const {
    if (flags & USE_COUNTER) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return (unsigned long long)counter.QuadPart;
    }
    if (flags & USE_TIME_GET_TIME)
        return timeGetTime();
    return TickCount64();
}

unsigned Stopwatch::Stop() {
    elapsed = Now() - start;
    return (unsigned)elapsed;
}

namespace {

// counts * unit / frequency without overflowing for long measurements at high counter rates.
unsigned long long Scale(unsigned long long counts, unsigned long long unit, unsigned long long frequency) {
    return counts / frequency * unit + counts % frequency * unit / frequency;
}

} // namespace

unsigned long long Stopwatch::Milliseconds() const {
    if ((flags & USE_COUNTER) && frequency)
        return Scale(elapsed, 1000, frequency);
    return elapsed;
}

unsigned long long Stopwatch::Microseconds() const {
    if ((flags & USE_COUNTER) && frequency)
        return Scale(elapsed, 1000000, frequency);
    return elapsed * 1000;
}
