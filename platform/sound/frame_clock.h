#pragma once

#include "platform/sound/callback_line.h"

#include <atomic>
#include <cstdint>

namespace platform {

// Maps the monotonic clock to the output's frame counter.
//
// The audio callback calls update() with the frame number its buffer starts at and the
// monotonic time it was called. Callback times are bursty (the sound server asks for buffers
// in clumps and the thread wakes late), so they go through a second-order delay-locked loop
// that follows the device clock's phase and rate while smoothing the jitter away. The loop
// starts with a wide bandwidth to lock within a second and then narrows, so that consecutive
// beats land an exact, steady number of frames apart. Once five seconds of steady callbacks
// are in, the rate is taken from a straight line fitted through the last 43 s of them, which
// holds it to a fraction of a part per million, and the loop follows only the phase. A lasting
// jump of the callback times
// (the server played silence while the stream was starved) is taken over at once, so that the
// beats after it are placed on the new timeline instead of drifting onto it over seconds.
//
// The callback thread writes; any one other thread reads mapping() without waiting (a
// sequence counter detects a torn read, which is simply retried).
class FrameClock
{
public:
    struct Mapping {
        bool valid = false;
        std::int64_t originNs = 0; // monotonic time, ns since the clock's epoch
        double originFrame = 0;    // output frame at originNs
        double framesPerNs = 0;    // measured rate of the output clock

        double frameAt(std::int64_t timeNs) const
        {
            return originFrame + double(timeNs - originNs) * framesPerNs;
        }
    };

    // The bandwidth starts at lockBandwidthHz and narrows as lockBandwidthHz / (1 + t /
    // lockSeconds) with the time t since the (re)start, down to steadyBandwidthHz: the longer the
    // loop has watched the device, the less each new callback time may move it.
    struct Tuning {
        double lockBandwidthHz = 1.0;
        double steadyBandwidthHz = 0.01;
        double lockSeconds = 0.5;
        // A single callback may be late by milliseconds when its thread wakes late; the loop
        // takes no more than four times the usual error (and at least this) from any one
        // callback, so such outliers cannot kick it.
        double clampSeconds = 0.0005;
        // A jump of the output timeline at least this large (and well beyond the usual
        // scatter of the callbacks), the same in kStepCallbacks callbacks in a row, is taken
        // over at once. A sound server that ran dry plays silence and asks for the next frames
        // that much later; every click placed on the old timeline would sound late by as much.
        double stepSeconds = 0.0005;
    };

    explicit FrameClock(double nominalRate, Tuning tuning);
    explicit FrameClock(double nominalRate) : FrameClock(nominalRate, Tuning{}) {}

    // Audio callback: the buffer starting at `frame`, `frames` long, was asked for at `nowNs`.
    // Restarts the loop when the callbacks jump (a stall, an underrun, a new stream).
    void update(std::int64_t frame, int frames, std::int64_t nowNs);

    // Forgets the lock; the next update() starts again. Call while no callback runs.
    void reset() { started_ = false; }

    Mapping mapping() const;

    // How many times the loop (re)started: 1 after a clean run.
    int restarts() const { return restarts_.load(std::memory_order_relaxed); }
    // How many jumps of the callback times were taken over.
    int steps() const { return steps_.load(std::memory_order_relaxed); }

    static constexpr int kStepCallbacks = 3;
    static constexpr int kRepeatCallbacks = 1000; // jumps closer than this repeat
    // A restart after this long a lock keeps the measured rate: a stall does not change it.
    static constexpr double kKeepRateSeconds = 2.0;
    // The steady callbacks from this long after a start on are fitted with a straight line,
    // whose slope becomes the loop's rate once the line spans this long.
    static constexpr double kFitAfterSeconds = 1.0;
    static constexpr double kFitSpanSeconds = 5.0;

private:
    void start(std::int64_t frame, int frames, std::int64_t nowNs);
    double takeStep(double error);
    void publish();

    double nominalRate_;
    Tuning tuning_;

    // Loop state, callback thread only. Times in seconds from baseNs_.
    bool started_ = false;
    std::int64_t baseNs_ = 0;
    double t0_ = 0, t1_ = 0; // filtered times of frames n0_ and n1_
    double period_ = 0;      // filtered time per buffer
    std::int64_t n0_ = 0, n1_ = 0;
    double lockedFor_ = 0;               // seconds since the last start
    bool rateKnown_ = false;             // period_ was measured before this start
    double recent_[kStepCallbacks] = {}; // the last prediction errors, s
    int recentNext_ = 0;                 // where the next one goes
    int recentCount_ = 0;                // how many are filled
    double usualError_ = 0;              // running mean of |error|, s
    double lastStep_ = 0;                // the last jump taken over, s
    double lastDrift_ = 0;               // the drift per callback that jump implied, s
    int sinceStep_ = 0;                  // callbacks since then
    CallbackLine line_;                  // the steady callbacks since the last start

    std::atomic<unsigned> sequence_{0};
    std::atomic<std::int64_t> originNs_{0};
    std::atomic<double> originFrame_{0};
    std::atomic<double> framesPerNs_{0};
    std::atomic<int> restarts_{0};
    std::atomic<int> steps_{0};
};

} // namespace platform
