#pragma once

#include "platform/sound/callback_line.h"
#include "platform/sound/published.h"
#include "platform/sound/sound_timeline.h"

#include <atomic>
#include <cstdint>

namespace platform {

// The output's rate against the monotonic clock, as measured, with its standard error and
// the span of time it was measured over; zero until there is a measurement.
struct MeasuredRate {
    double framesPerSecond = 0;
    double standardError = 0;
    double spanSeconds = 0;
};

// Maps the monotonic clock to the frames the output device asks for.
//
// The stream's thread calls update() each time the device asks for the next frames, with the
// first frame asked for, how many, and the monotonic time. Those times scatter (the thread
// wakes late now and then), so they go through a second-order delay-locked loop that follows
// the device clock's phase and rate while smoothing the scatter away. The loop starts with a
// wide bandwidth to lock within a second and then narrows. Once kFitSpanSeconds of steady
// requests are in, the rate is taken from a straight line fitted through the last of them,
// which holds it to a fraction of a part per million, and the loop follows only the phase. A
// lasting jump of the request times (the server played silence while the stream was starved)
// is taken over at once, so that the clicks after it are placed on the new timeline instead of
// drifting onto it over seconds. Where the server tells of every silence it plays, the mapping
// is the sound's timeline rather than the requests': it moves only by those silences.
//
// The stream's thread writes; any one other thread reads mapping() and measuredRate() without
// waiting (a sequence counter detects a torn read, which is simply retried).
class FrameClock
{
public:
    struct Mapping {
        bool valid = false;        // the clock has settled on the device's timeline
        std::int64_t originNs = 0; // monotonic time, ns since the clock's epoch
        double originFrame = 0;    // frame asked for at originNs
        double framesPerNs = 0;    // measured rate of the output clock

        double frameAt(std::int64_t timeNs) const
        {
            return originFrame + double(timeNs - originNs) * framesPerNs;
        }
    };

    // The bandwidth starts at lockBandwidthHz and narrows as lockBandwidthHz / (1 + t /
    // lockSeconds) with the time t since the (re)start, down to steadyBandwidthHz: the longer the
    // loop has watched the device, the less each new request time may move it.
    struct Tuning {
        double lockBandwidthHz = 1.0;
        double steadyBandwidthHz = 0.01;
        double lockSeconds = 0.5;
        // A single request may come milliseconds late when the thread wakes late; the loop takes
        // no more than kClampUsualErrors times the usual error (and at least this) from any
        // one request, so such outliers cannot kick it.
        double clampSeconds = 0.0005;
        // A jump of the timeline at least this large (and well beyond the usual scatter), the
        // same in kStepRequests requests in a row, is taken over at once: not every server
        // says when it played silence (PipeWire's graph can skip cycles unannounced).
        double stepSeconds = 0.0005;
        // The server says each time it played silence in the stream's place: the mapping is
        // then the sound's timeline, not the requests' (see SoundTimeline).
        bool silenceAnnounced = false;
    };

    explicit FrameClock(double nominalRate, Tuning tuning);
    explicit FrameClock(double nominalRate) : FrameClock(nominalRate, Tuning{}) {}

    // The device asks for `frames` frames from `frame` on, at `nowNs`. Restarts the loop when
    // the requests jump far (a stall, a new stream).
    void update(std::int64_t frame, int frames, std::int64_t nowNs);
    // The server said it ran dry and played silence: the requests after the burst with which
    // it refills come later by that silence. The jump is taken over in one step, the median of
    // kDryRequests requests after the kDrySkip of the burst; until then the mapping stays as
    // it was.
    void serverRanDry();

    Mapping mapping() const;
    // The device's rate from the fitted line, once it spans kFitSpanSeconds, or from the line
    // before the last jump while the new one is much shorter; zero before.
    MeasuredRate measuredRate() const;

    // How many times the loop (re)started: 1 after a clean run.
    int restarts() const { return restarts_.load(std::memory_order_relaxed); }
    // How many jumps of the request times were taken over.
    int steps() const { return steps_.load(std::memory_order_relaxed); }
    // How many jumps the mapping took: all of those, or with silence announced, the silences
    // told of and the requests' phase taken again.
    int heardSteps() const { return heardSteps_.load(std::memory_order_relaxed); }
    // The first frame asked for late (or early) in the last jump of the requests; for the
    // stream's thread, after update().
    std::int64_t jumpFrame() const { return jumpFrame_; }

    // A server's sink runs within this of its nominal rate (the null sinks measured +55 and
    // +0.4 ppm, sound cards within 100). Fitted through requests that jumped by whole server
    // cycles, a line can be bent far beyond (2300 ppm measured on PipeWire); with silence
    // announced, such a measurement is not given out.
    static constexpr double kServerRateLimit = 500e-6;

    // A request further off its prediction than this, or than kRestartRequests requests, means
    // the stream restarted or stalled: the loop starts again.
    static constexpr double kRestartSeconds = 0.05;
    static constexpr int kRestartRequests = 8;
    // A restart after this long a lock keeps the measured rate: a stall does not change it.
    static constexpr double kKeepRateSeconds = 2.0;
    // A new stream's first requests tell little of its timeline (a server fills its buffer at
    // once, and a sleeping sink may wake seconds later): the mapping is given out only this long
    // after a start from nothing.
    static constexpr double kSettleSeconds = 0.5;
    // The usual error is a running mean of |error|, updated with this weight; it sets the
    // limits below in multiples of itself.
    static constexpr double kUsualErrorWeight = 0.02;
    static constexpr double kClampUsualErrors = 4;
    // A jump must lie this many usual errors out, in kStepRequests requests whose errors
    // agree to within the flatness below (a slope is a rate not learnt yet, left to the loop).
    static constexpr int kStepRequests = 3;
    static constexpr double kStepUsualErrors = 6;
    static constexpr double kFlatSeconds = 0.0002;
    static constexpr double kFlatUsualErrors = 2;
    // Jumps closer than this many requests that imply the same drift per request (to this
    // fraction) are a rate the loop is slow to learn, and change the rate at once.
    static constexpr int kRepeatRequests = 1000;
    static constexpr double kSameDrift = 0.25;
    // After the server ran dry: the requests of its refilling burst, and those then taken.
    static constexpr int kDrySkip = 4;
    static constexpr int kDryRequests = 5;
    // The steady requests from this long after a start on, those within kFitUsualErrors of
    // the prediction (and at least kFitFloorSeconds), are fitted with a straight line, whose
    // slope becomes the loop's rate once the line spans kFitSpanSeconds.
    static constexpr double kFitAfterSeconds = 1.0;
    static constexpr double kFitSpanSeconds = 5.0;
    static constexpr double kFitUsualErrors = 4;
    static constexpr double kFitFloorSeconds = 2e-5;

private:
    void start(std::int64_t frame, int frames, std::int64_t nowNs);
    void follow(std::int64_t frame, int frames, double error);
    double takeStep(double error);
    void followSound(bool keepPhase, double heardStep);
    CallbackLine::Measurement measurement();
    bool seenJump(double error);
    void publish();

    double nominalRate_;
    Tuning tuning_;

    // Loop state, stream thread only. Times in seconds from baseNs_.
    bool started_ = false;
    std::int64_t baseNs_ = 0;
    double t0_ = 0, t1_ = 0; // filtered times at which frames n0_ and n1_ are asked for
    double perFrame_ = 0;    // filtered seconds per frame
    std::int64_t n0_ = 0, n1_ = 0;
    double lockedFor_ = 0;              // seconds since the last start
    SoundTimeline sound_;               // what the mapping gives out
    bool rateKnown_ = false;            // perFrame_ was measured before this start
    double recent_[kStepRequests] = {}; // the last prediction errors, s
    int recentNext_ = 0;                // where the next one goes
    int recentCount_ = 0;               // how many are filled
    double usualError_ = 0;             // running mean of |error|, s
    double lastStep_ = 0;               // the last jump taken over, s
    double lastDrift_ = 0;              // the drift per request that jump implied, s
    int sinceStep_ = 0;                 // requests since then
    bool ranDry_ = false;               // a jump follows; the loop holds still until it is seen
    int sinceDry_ = 0;                  // requests since the server ran dry
    double dryErrors_[kDryRequests] = {};
    std::int64_t jumpFrame_ = 0;
    CallbackLine line_;          // the steady requests since the last start
    CallbackLine::Slope fitted_; // the line's, once it is long enough

    struct Snapshot {
        Mapping mapping;
        MeasuredRate rate;
    };
    Published<Snapshot> published_;
    std::atomic<int> restarts_{0};
    std::atomic<int> steps_{0};
    std::atomic<int> heardSteps_{0};
};

} // namespace platform
