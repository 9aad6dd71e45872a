#pragma once

#include "platform/sound/beat_engine.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cadrel_test {

// When a real output stream asked for audio, as cadrel_trace_requests records it, and when the
// stream said the first frame of each request would be heard.
struct Trace {
    std::string output; // the kind of stream ("PulseAudio", "SDL"), or "manager" for the
                        // program's streams as its output manager opens and loses them
    int rate = 0;
    struct Request {
        std::int64_t atNs = 0;         // from the trace's start
        int frames = 0;                // 0: the server said it ran dry here
        std::int64_t heardAfterNs = 0; // its first frame heard this long after
        bool told = true;              // the stream said so (not yet, at its very start)
        bool settled = true;           // its word comes from a device that plays
        int output = 1;                // the stream's number
    };
    std::vector<Request> requests;
    // In a trace of the program's output manager: when it gave a stream the beat (opened) or
    // gave it up. Without any, stream 1 has the beat throughout.
    struct Move {
        std::int64_t atNs = 0;
        int output = 0;
        bool opened = false;
        bool rewrites = false;
    };
    std::vector<Move> moves;
    std::int64_t lengthNs() const
    {
        const std::int64_t last = requests.empty() ? 0 : requests.back().atNs;
        return moves.empty() ? last : std::max(last, moves.back().atNs);
    }
};
// Reads a trace; an empty one when the file is missing or damaged. Where the heard times were
// not recorded, the frames are heard as a device plays them, from `leadNs` after the first
// request on; where the stream could not tell yet (-1), they are heard as the next piece says.
Trace readTrace(const std::string &path, std::int64_t leadNs = 40'000'000);
// Requests of `frames` every cycle for `seconds`, heard `leadNs` after: a PipeWire graph at a
// fixed quantum, or an SDL driver.
Trace steadyTrace(int frames, double seconds, std::int64_t leadNs, int rate = 48000);

// The user's actions, at times from the trace's start.
struct Action {
    std::int64_t atNs = 0;
    enum Kind { Start, Stop, SoundOff, SoundOn } kind = Start;
    double periodMs = 0; // for Start
};

// A trace replayed through the beat engine as the program runs it: the output fills at each
// request, the window asks which beats are heard every quarter of a millisecond, and clicks
// taken back are written again over what has not been heard yet.
struct Replay {
    std::vector<float> heard;            // channel 0 of the stream, as heard
    std::vector<std::int64_t> heardAtNs; // when each frame was heard, as the stream said
    std::vector<std::int64_t> shownAtNs; // when each beat was said to be heard (or counted)
    std::vector<std::int64_t> onsets;    // frames where clicks start in what was heard
    platform::BeatEngine::Stats stats;
    int rewrittenFrames = 0; // frames written again after clicks were taken back
    int unheardRewrites = 0; // frames asked to be written again after they were heard

    // When the click starting at `frame` was heard.
    std::int64_t heardAt(std::int64_t frame) const { return heardAtNs[std::size_t(frame)]; }
};
// Replays `trace` with `actions`, the click a 1 ms square pulse, on an output that can write
// again what it wrote, or not (`rewrites`). `extraGapNs` is added to the heard time of every
// request from the one at `gapAtNs` on (the server played silence). A server that holds what it
// will play within `heldNs` out of reach (PipeWire's cycles on their way to the sink) says so,
// and keeps playing it whatever is written again (a gap and a hold are for a trace of one
// stream, without moves). The output manager's moves in the trace are made at their times; and
// with `standInAfterNs`, the output is watched as the manager does, every 100 ms: when it has
// asked for nothing that long while the beat runs, the silent stand-in has the beat until it
// asks again. The stand-in writes as the program's does, on the replay's clock.
Replay replay(const Trace &trace, const std::vector<Action> &actions, bool rewrites = true,
              std::int64_t gapAtNs = -1, std::int64_t extraGapNs = 0, std::int64_t heldNs = 0,
              std::int64_t standInAfterNs = -1);

} // namespace cadrel_test
