#pragma once
// Elapsed-time measurement from the performance counter, timeGetTime or the tick count.

class Stopwatch {
public:
    enum : unsigned { USE_COUNTER = 0x1, USE_TIME_GET_TIME = 0x4 };

    Stopwatch() = default;

    int UseHighResolution(int on);
    unsigned long long Now() const;
    void Start() { start = Now(); }
    unsigned Stop();
    unsigned long long Milliseconds() const;
    unsigned long long Microseconds() const;

    unsigned long long frequency = 0;
    unsigned long long start = 0;
    unsigned long long elapsed = 0;
    unsigned flags = USE_TIME_GET_TIME;
};
