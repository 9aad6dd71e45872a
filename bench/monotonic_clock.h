#pragma once
// CLOCK_MONOTONIC in nanoseconds: the one clock the benches put the pictures and the sound on.
#include <ctime>

inline long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}
