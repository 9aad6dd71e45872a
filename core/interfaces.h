#pragma once

#include "core/beat_time.h"

#include <string>

// What the metronome needs from the platform, and no more.
namespace core {

// The timer that gives the beat. Each restart begins a new run of beats: the first is due one
// period after it (see BeatTime), and each tick is delivered to Metronome::tick.
class BeatTimer
{
public:
    virtual ~BeatTimer() = default;
    // Ticks every `intervalMs` whole milliseconds, the beats falling on the exact `period`,
    // counted from now.
    virtual void restart(int intervalMs, BeatTime::Period period) = 0;
};

// Plays the click.
class ClickPlayer
{
public:
    virtual ~ClickPlayer() = default;
    // Reads the wave file at `path` ahead of its first beat.
    virtual void prepare(const std::string &path) = 0;
    // Plays the wave file at `path` for `beat`, at its due time; returns at once.
    virtual void play(const std::string &path, const BeatTime &beat) = 0;
};

} // namespace core
