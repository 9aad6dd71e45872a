#pragma once

#include <chrono>

namespace platform {

// How the sound is written, in one place. The beat is counted in the stream's frames, so none
// of this moves a click or delays what the window shows: the lead only decides how long a stall
// of a busy machine the stream rides out before the server plays silence in its place.
struct SoundSettings {
    using Ms = std::chrono::milliseconds;

    int rate = 48000; // frames per second of every output (SDL converts where a device differs)
    int channels = 2;
    // Asked of a PulseAudio or PipeWire server: its whole latency (the sink's included), and the
    // least it asks for at once. PipeWire derives the cycle of its whole graph from these,
    // (target - 2 request) / 2, here 40 ms, which it rounds to its largest quantum: so the
    // stream never makes other programs wake more often.
    Ms serverTarget{100};
    Ms serverRequest{10};
    // The same of PipeWire, with the least request below its common cycles, so that it asks
    // about once a cycle (it asks for 256 frames at least); the cycle its graph takes from
    // these stays 40 ms. See frameHeardWhenTold and ServerCycle.
    Ms pipeWireTarget{90};
    Ms pipeWireRequest{5};
    // SDL's drivers: the buffer the callback fills; one is played while the next is written.
    int sdlBufferFrames = 1024;
    // The stand-in without a device writes this far ahead of the time it stands for.
    Ms standInLead{50};
    // A server that answers nothing for this long is given up for the stand-in.
    Ms answerWithin{3000};
    // An output that asks for nothing this long while the beat runs has paused: the stand-in
    // keeps the beat until it asks again, or for answerWithin, when it is given up.
    Ms stalledAfter{400};
    // A missing or lost output is looked for again this often while the beat runs.
    Ms retryEvery{1000};
};

} // namespace platform
