#pragma once

#include <chrono>

namespace platform {

// How far ahead of the ear the click facility works, in one place: the output's rate, the
// audio the sound server holds, the buffers of the other outputs, and the constant latency from
// a beat's due time to its click at the output, which has to cover all of them.
//
// A click can only go into frames not yet handed to the server, and the server holds
// `serverLead` of them ahead of what it plays; they are asked for in pieces of up to
// `serverRequest`; and the timer tick that asks for a click comes a little late, more so on a
// busy machine. The latency is what is left over for that lateness once the lead and one
// request are paid for. A longer lead rides out longer stalls of a busy machine (the server
// plays silence when the stream runs dry, which shifts every later click), at the price of a
// longer latency; sound that lags the picture by up to about 125 ms goes unnoticed.
struct SoundBudget {
    using Ms = std::chrono::duration<double, std::milli>;

    int rate = 48000; // frames per second asked of the device, which may choose another
    // Asked of a PulseAudio or PipeWire server: its whole latency (the sink's included), and
    // the least it asks for at once. PipeWire derives the cycle of its whole graph from these:
    // (target - 2 request) / 2 = 720 frames, rounded down to 512 (10.7 ms), where a one-buffer
    // target made it 256 and woke every program 188 times a second. Measured on both servers'
    // null sinks, they then ask for 10.7 ms (PipeWire) or 15 ms (PulseAudio) at a time, evenly,
    // and hold about `target - request` ahead of the ear; a longer target made PulseAudio's
    // requests come in bursts.
    Ms serverTarget{50};
    Ms serverRequest{10};
    // Other outputs (SDL's drivers): the buffer the callback fills; one is played while the
    // next is written. 1008 frames are exactly 21 ms at 48 kHz.
    int bufferFrames = 1008;
    // From a beat's due time to its click at the output.
    Ms latency{100};
    // Clicks may come to lag their due times by this much (after the server played silence)
    // before the next one is placed back on time, in one step.
    Ms gridBound{10};

    // From asking for a frame to hearing it, on a PulseAudio or PipeWire server.
    constexpr Ms serverLead() const { return serverTarget - serverRequest; }

    // What the latency leaves for the lateness of the timer tick that asks for a click, on
    // either kind of output: a click can go into frames not yet asked for, which the server
    // asks for a lead ahead and in pieces of up to one and a half requests (PulseAudio's
    // 15 ms); SDL's drivers play one buffer while the next is written.
    constexpr Ms tickAllowance() const
    {
        const Ms serverAhead = serverLead() + 1.5 * serverRequest;
        const Ms sdlAhead = 2 * Ms{1000.0 * bufferFrames / rate};
        return latency - (serverAhead > sdlAhead ? serverAhead : sdlAhead);
    }
};

// The timer's ticks come up to a few milliseconds late on a quiet machine, and tens of
// milliseconds on a busy one; a click asked for later than the allowance is no longer on its
// grid but sounds as soon as possible.
static_assert(SoundBudget{}.tickAllowance() >= SoundBudget::Ms{40});

} // namespace platform
