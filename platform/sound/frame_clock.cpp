#include "platform/sound/frame_clock.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace platform {

FrameClock::FrameClock(double nominalRate, Tuning tuning)
    : nominalRate_(nominalRate), tuning_(tuning)
{}

void FrameClock::start(std::int64_t frame, int frames, std::int64_t nowNs)
{
    // A stall after a long lock leaves the device's rate as it was: only the phase is found
    // again. A new stream, or a lock too short to have measured much, starts from nominal.
    rateKnown_ = started_ && frame == n1_ && lockedFor_ >= kKeepRateSeconds;
    if (!rateKnown_)
        perFrame_ = 1 / nominalRate_;
    started_ = true;
    baseNs_ = nowNs;
    t0_ = 0;
    t1_ = frames * perFrame_;
    n0_ = frame;
    n1_ = frame + frames;
    lockedFor_ = 0;
    sound_.follow(0, frame, perFrame_);
    recentCount_ = 0;
    lastStep_ = 0;
    lastDrift_ = 0;
    sinceStep_ = 0;
    usualError_ = frames * perFrame_; // wide open until the loop has seen how requests fall
    if (rateKnown_)
        line_.startAgain(kFitSpanSeconds);
    else
        line_.clear();
    fitted_ = {};
    restarts_.fetch_add(1, std::memory_order_relaxed);
}

void FrameClock::update(std::int64_t frame, int frames, std::int64_t nowNs)
{
    if (frames <= 0)
        return;
    // A request far off the prediction, or a frame that does not continue the last request,
    // means the stream restarted or stalled: the old lock no longer describes it. Anything
    // nearer is scatter, or a jump taken over below.
    const double limit = std::max(kRestartSeconds, kRestartRequests * frames * perFrame_);
    const double error = double(nowNs - baseNs_) * 1e-9 - t1_;
    if (!started_ || frame != n1_ || std::abs(error) > limit) {
        start(frame, frames, nowNs);
        publish();
        return;
    }
    follow(frame, frames, error);
    publish();
}

void FrameClock::serverRanDry()
{
    if (!started_)
        return;
    ranDry_ = true;
    sinceDry_ = 0;
}

// After the server ran dry it first asks for what it lost, in a burst; the requests after
// that show the new timeline. Collects their errors; true once there are enough.
bool FrameClock::seenJump(double error)
{
    if (++sinceDry_ <= kDrySkip)
        return false;
    dryErrors_[sinceDry_ - kDrySkip - 1] = error;
    return sinceDry_ == kDrySkip + kDryRequests;
}

void FrameClock::follow(std::int64_t frame, int frames, double error)
{
    const double now = t1_ + error;
    // Once settled, a stream whose server tells of its silences keeps the phase of its sound.
    const bool keepPhase = tuning_.silenceAnnounced && lockedFor_ >= kSettleSeconds;
    bool announced = false;
    double step = 0;
    if (ranDry_) {
        if (!seenJump(error)) {
            // The loop holds still: neither the burst nor the new timeline is for it to follow.
            t0_ = t1_;
            n0_ = n1_;
            t1_ += frames * perFrame_;
            n1_ += frames;
            followSound(keepPhase, 0);
            return;
        }
        ranDry_ = false;
        std::sort(std::begin(dryErrors_), std::end(dryErrors_));
        step = dryErrors_[kDryRequests / 2];
        announced = true;
        steps_.fetch_add(1, std::memory_order_relaxed);
    } else {
        step = takeStep(error);
        if (step != 0)
            jumpFrame_ = frame - (kStepRequests - 1) * frames;
    }
    ++sinceStep_;
    if (step != 0) {
        // Jumps of the same drift per request again and again are a rate the loop is slow to
        // learn (it narrows quickly for beat-to-beat steadiness): take that rate over at once.
        // Underruns come at random times, so the drifts they imply do not agree.
        const double drift = step / sinceStep_;
        const bool repeated =
            lastStep_ != 0 && (step > 0) == (lastStep_ > 0) && sinceStep_ < kRepeatRequests;
        if (repeated && lastDrift_ != 0 &&
            std::abs(drift - lastDrift_) <= kSameDrift * std::abs(lastDrift_))
            perFrame_ += drift / frames;
        lastDrift_ = repeated ? drift : 0;
        lastStep_ = step;
        sinceStep_ = 0;
        t1_ += step;
        error -= step;
        if (!keepPhase || announced)
            heardSteps_.fetch_add(1, std::memory_order_relaxed);
        // A step taken a little wrong would bend the line and the rate fitted through it:
        // the line starts again, and the rate, known by now, moves as slowly as in a long lock
        // meanwhile.
        recentCount_ = 0;
        line_.startAgain(kFitSpanSeconds);
        rateKnown_ = rateKnown_ || lockedFor_ >= kKeepRateSeconds;
    }
    // The line takes the requests that come as usual; a late one is the thread's lateness,
    // not the device's.
    if (lockedFor_ >= kFitAfterSeconds &&
        std::abs(error) <= std::max(kFitFloorSeconds, kFitUsualErrors * usualError_))
        line_.add(frame, now);

    const double interval = frames * perFrame_;
    lockedFor_ += interval;
    const double bandwidth =
        std::max(tuning_.steadyBandwidthHz,
                 tuning_.lockBandwidthHz / (1 + lockedFor_ / tuning_.lockSeconds));
    const double omega = 2 * std::numbers::pi * bandwidth * interval;
    const double b = std::numbers::sqrt2 * omega;
    // With the rate still known from before a stall, the phase is found quickly while the rate
    // moves only as slowly as in a long lock.
    const double rateOmega =
        rateKnown_ ? 2 * std::numbers::pi * tuning_.steadyBandwidthHz * interval : omega;
    const double c = rateOmega * rateOmega;
    const double clamp = std::max(tuning_.clampSeconds, kClampUsualErrors * usualError_);
    error = std::clamp(error, -clamp, clamp);
    // Clamped too, so that one late request does not make the loop deaf to jumps for a while.
    usualError_ += kUsualErrorWeight * (std::abs(error) - usualError_);

    t0_ = t1_;
    n0_ = n1_;
    t1_ += b * error + interval;
    n1_ += frames;
    // Once the line is long enough its slope is the rate: a loop's own estimate keeps a
    // little of every request's scatter and wanders by parts per million, which a minute of
    // beats would show as drift. The loop then only follows the phase.
    fitted_ = line_.span() >= kFitSpanSeconds ? line_.slope() : CallbackLine::Slope{};
    if (fitted_.secondsPerFrame > 0)
        perFrame_ = fitted_.secondsPerFrame;
    else
        perFrame_ += c * error / frames;
    followSound(keepPhase, announced ? step : 0);
}

// The mapping follows the loop until it has settled, or where the server does not tell of its
// silences; otherwise it is the sound's timeline, run on at the measured rate (the loop's own
// is too rough) or, before there is one, the nominal.
void FrameClock::followSound(bool keepPhase, double heardStep)
{
    if (!keepPhase) {
        sound_.follow(t0_, n0_, perFrame_);
        return;
    }
    const double measured = measurement().slope.secondsPerFrame;
    if (sound_.runOn(t0_, n0_, measured > 0 ? measured : 1 / nominalRate_, heardStep))
        heardSteps_.fetch_add(1, std::memory_order_relaxed);
}

CallbackLine::Measurement FrameClock::measurement()
{
    const CallbackLine::Measurement m = line_.measurement(kFitSpanSeconds);
    const double perFrame = m.slope.secondsPerFrame;
    if (tuning_.silenceAnnounced && perFrame > 0 &&
        std::abs(1 / (perFrame * nominalRate_) - 1) > kServerRateLimit)
        return {};
    return m;
}

// Single late or early requests are scatter, and a run of late ones that then come in a burst
// is a thread that woke late and caught up. The same offset in several requests in a row, well
// beyond their usual scatter, is a new timeline: the server played silence while the stream was
// starved. Returns the offset to take over at once.
double FrameClock::takeStep(double error)
{
    recent_[recentNext_] = error;
    recentNext_ = (recentNext_ + 1) % kStepRequests;
    recentCount_ = std::min(recentCount_ + 1, kStepRequests);
    if (recentCount_ < kStepRequests)
        return 0;
    const auto [low, high] = std::minmax_element(std::begin(recent_), std::end(recent_));
    const double least = std::max(tuning_.stepSeconds, kStepUsualErrors * usualError_);
    const bool shifted = *low >= least || *high <= -least;
    // A jump is flat: the errors agree. A slope is a rate the loop has not learnt yet (a device
    // far off its nominal rate) and is left to the loop.
    const double flat = std::max(kFlatSeconds, kFlatUsualErrors * usualError_);
    const double oldest = recent_[recentNext_];
    const double newest = recent_[(recentNext_ + kStepRequests - 1) % kStepRequests];
    if (!shifted || *high - *low > flat || std::abs(newest - oldest) > flat / 2)
        return 0;
    recentCount_ = 0;
    steps_.fetch_add(1, std::memory_order_relaxed);
    return 0.5 * (*low + *high);
}

void FrameClock::publish()
{
    Snapshot snapshot;
    // The rate comes from the filtered rate alone: the phase correction of this one update
    // belongs to the origin, not to the slope of the mapping.
    snapshot.mapping = {rateKnown_ || lockedFor_ >= kSettleSeconds,
                        baseNs_ + std::int64_t(std::llround(sound_.seconds() * 1e9)),
                        double(sound_.frame()), 1e-9 / sound_.perFrame()};
    const auto [fit, span] = measurement();
    const double perFrame = fit.secondsPerFrame;
    if (perFrame > 0)
        snapshot.rate = {1 / perFrame, fit.standardError / (perFrame * perFrame), span};
    published_.write(snapshot);
}

FrameClock::Mapping FrameClock::mapping() const
{
    const auto snapshot = published_.read();
    return snapshot ? snapshot->mapping : Mapping{};
}

MeasuredRate FrameClock::measuredRate() const
{
    const auto snapshot = published_.read();
    return snapshot ? snapshot->rate : MeasuredRate{};
}

} // namespace platform
