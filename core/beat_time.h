#pragma once

#include <chrono>
#include <cstdint>

namespace core {

// When a beat is due. The beats of one run (from a start or a tempo change to the next) fall on
// a grid: beat `index` (1, 2, ...) is due at `origin + index * period` on the monotonic clock.
// Whatever places sound on those beats can keep them exactly one period apart by counting
// periods from the grid's first beat, instead of reading a clock afresh at every beat.
struct BeatTime {
    using Clock = std::chrono::steady_clock;
    using Period = std::chrono::duration<double, std::nano>;

    Clock::time_point origin; // where the run's countdown started
    Period period{0};         // exact, not rounded to whole milliseconds
    std::int64_t index = 0;   // 1 for the run's first beat

    Clock::time_point due() const
    {
        return origin + std::chrono::duration_cast<Clock::duration>(period * double(index));
    }
    bool sameRun(const BeatTime &other) const
    {
        return origin == other.origin && period == other.period;
    }
};

} // namespace core
