#pragma once

#include "core/beat_time.h"
#include "platform/sound/frame_clock.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// Places the clicks of a run of beats on the output's frames. The run's first click is placed
// where its due time falls on the output (plus the constant latency); every later click of the
// run lies a whole number of beat periods after it, counted in frames with the fraction kept, so
// that consecutive clicks are exactly one period apart in the stream however the clock that maps
// times to frames wavers. The grid is laid afresh when the beats restart (a start, a tempo
// change), when the output reopens, and when it has strayed from the due times by more than the
// bound: the server played silence while the stream was starved, and everything after sounds
// that much later.
//
// The period in frames uses the device's nominal rate until the measured rate differs from it
// beyond doubt; the rate is looked at again only every few seconds of beats, so that the
// spacing does not follow every wobble of the measurement.
class ClickGrid
{
public:
    struct Settings {
        double nominalRate = 48000; // frames per second the device was opened at
        double boundFrames = 480;   // the most the grid may stray from the due times
        // The grid's rate is looked at again every rateCheckSeconds of beats, and changed when
        // the measured one spans rateSpanSeconds at least and lies more than rateDoubt
        // standard errors, and more than rateTolerance, away from it. Measured on the null
        // sinks, a rate fitted over 5 s of requests still wanders by up to 180 parts per
        // million (PulseAudio asks in a pattern of its own), over 20 s by 20; within the
        // tolerance the clicks drift from their due times by at most 1.2 ms a minute, which
        // the bound takes care of, and beat periods stay whole frames.
        double rateCheckSeconds = 10;
        double rateSpanSeconds = 20;
        double rateDoubt = 3;
        double rateTolerance = 20e-6;
        // The first measured rate beyond doubt is taken as it is; after that the rate moves
        // towards the measurement by at most this fraction a look, so that a measurement
        // bent by the server's doings can only nudge it. At 40 bpm a step moves the beat
        // period by at most 0.72 frames.
        double rateStep = 10e-6;
    };

    explicit ClickGrid(Settings settings);

    // The frame at which the click of `beat` starts, or nothing when it should sound as soon
    // as possible (the output has no timeline yet). Its due time plus `ahead` falls on the
    // output where `mapping` says; `stream` changes each time the output reopens.
    std::optional<std::int64_t> place(const core::BeatTime &beat,
                                      const FrameClock::Mapping &mapping,
                                      std::chrono::nanoseconds ahead, std::uint64_t stream,
                                      const MeasuredRate &measured);

    struct Stats {
        int laid = 0;       // grids laid for a new run or a reopened output
        int reanchored = 0; // grids laid again because they had strayed beyond the bound
        double rate = 0;    // frames per second the grid counts with
        double offset = 0;  // frames the last click lies after its due time's frame
        std::vector<std::int64_t> relaid; // first frames of grids laid again (up to 64)
    };
    const Stats &stats() const { return stats_; }

private:
    std::optional<std::int64_t> placeOn(const core::BeatTime &beat, double mapped,
                                        std::uint64_t stream, const MeasuredRate &measured);
    void lay(const core::BeatTime &beat, double frame, std::uint64_t stream);
    void reconsiderRate(const core::BeatTime &beat, const MeasuredRate &measured);

    Settings settings_;
    bool laid_ = false;
    core::BeatTime run_;       // the run the grid belongs to (index: its first beat's)
    std::uint64_t stream_ = 0; // the output the grid was laid on
    double firstFrame_ = 0;    // exact frame of beat run_.index
    double framesPerBeat_ = 0; // exact, with the fraction
    double rate_ = 0;          // frames per second
    core::BeatTime::Clock::time_point rateChecked_{};
    bool rateMeasured_ = false; // a measurement was there at the last look
    bool rateAdopted_ = false;  // the rate is a measured one, no longer the nominal
    Stats stats_;
};

} // namespace platform
