#pragma once

#include <chrono>
#include <string>

// What the metronome needs from the platform, and no more.
namespace core {

// The beat as the listener hears it: runs of beats, each heard one period after the one before,
// the first one period after the press that began the run. Each beat is reported, at the moment
// it is heard, to Metronome::beatHeard; a beat not heard is never reported.
class BeatSource
{
public:
    using Clock = std::chrono::steady_clock;

    virtual ~BeatSource() = default;
    // Has the click (a wave file, narrow, in the file system's own bytes) read ahead of its
    // first beat.
    virtual void prepare(const std::string &clickPath) = 0;
    // Begins a run at `press`; a run under way ends there, as with stop().
    virtual void start(Clock::time_point press, double periodMs) = 0;
    // Ends the run at `press`: no beat after it is heard or reported.
    virtual void stop(Clock::time_point press) = 0;
    // Whether the beats from now on sound the click.
    virtual void setSoundOn(bool on) = 0;
};

} // namespace core
