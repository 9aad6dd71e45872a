#pragma once

#include "platform/sound/click_grid.h"
#include "platform/sound/sound_budget.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cadrel_test {

// When a real output stream asked for audio, as cadrel_trace_requests records it.
struct Trace {
    std::string output; // the kind of stream, as the program names it ("PulseAudio", "SDL ...")
    int rate = 0;
    struct Request {
        std::int64_t atNs = 0; // from the trace's start
        int frames = 0;        // 0: the server said it ran dry here
    };
    std::vector<Request> requests;
    std::int64_t lengthNs() const { return requests.empty() ? 0 : requests.back().atNs; }
};
// Reads a trace; an empty one when the file is missing or damaged.
Trace readTrace(const std::string &path);

// A run of beats replayed on a trace, placed exactly as the program places them.
struct Replay {
    struct Click {
        std::int64_t onset = 0; // the frame it starts at
        bool late = false;      // its frame was written already: it sounds as soon as possible
        bool laid = false;      // its run's grid was laid (again) at this click
    };
    std::vector<Click> clicks;
    std::vector<std::int64_t> dropouts; // frames at which the server ran dry
    int clockSteps = 0;                 // jumps of the sound's timeline the clock took over
    int requestJumps = 0;               // jumps of the requests' times, heard or not
    platform::ClickGrid::Stats grid;

    // The intervals between consecutive clicks, in frames, leaving out those that span a
    // dropout, a late click or a grid laid again.
    std::vector<std::int64_t> cleanIntervals() const;
};

// Beats every `periodMs`, the first due `firstBeatS` into the trace, each asked for
// `tickLateMs` after its due time, played on the stream that made the trace.
Replay replay(const Trace &trace, double periodMs, double firstBeatS, double tickLateMs,
              const platform::SoundBudget &budget = {});

} // namespace cadrel_test
