#pragma once

#include "platform/sound/sound.h"

#include <thread>

namespace cadrel_test {

// Plays `path` for `count` beats `period` apart, from now, each asked for 1 ms after its due
// time as a timer tick would.
inline void playBeats(platform::Sound &sound, const std::string &path,
                      core::BeatTime::Period period, int count)
{
    const auto start = core::BeatTime::Clock::now();
    for (int k = 1; k <= count; ++k) {
        const core::BeatTime beat{start, period, k};
        std::this_thread::sleep_until(beat.due() + std::chrono::milliseconds(1));
        sound.play(path, beat);
    }
}

} // namespace cadrel_test
