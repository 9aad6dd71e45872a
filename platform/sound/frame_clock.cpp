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
    const double perFrame = rateKnown_ ? period_ / double(n1_ - n0_) : 1 / nominalRate_;
    started_ = true;
    baseNs_ = nowNs;
    period_ = frames * perFrame;
    t0_ = 0;
    t1_ = period_;
    n0_ = frame;
    n1_ = frame + frames;
    lockedFor_ = 0;
    recentCount_ = 0;
    lastStep_ = 0;
    lastDrift_ = 0;
    sinceStep_ = 0;
    usualError_ = period_; // wide open until the loop has seen how the callbacks fall
    line_.clear();
    restarts_.fetch_add(1, std::memory_order_relaxed);
}

void FrameClock::update(std::int64_t frame, int frames, std::int64_t nowNs)
{
    if (frames <= 0)
        return;
    const double now = double(nowNs - baseNs_) * 1e-9;
    // A callback far off the prediction, or a frame count that does not continue the last
    // buffer, means the stream restarted or stalled: the old lock no longer describes it.
    // Anything shorter is jitter, or a jump taken over below.
    double error = now - t1_;
    const double limit = std::max(0.05, 8 * period_);
    if (!started_ || frame != n1_ || std::abs(error) > limit) {
        start(frame, frames, nowNs);
        publish();
        return;
    }

    ++sinceStep_;
    const double step = takeStep(error);
    if (step != 0) {
        // Jumps of the same drift per callback again and again are a rate the loop is slow to
        // learn (it narrows quickly for beat-to-beat steadiness): take that rate over at once.
        // Underruns come at random times, so the drifts they imply do not agree.
        const double drift = step / sinceStep_;
        const bool repeated =
            lastStep_ != 0 && (step > 0) == (lastStep_ > 0) && sinceStep_ < kRepeatCallbacks;
        if (repeated && lastDrift_ != 0 &&
            std::abs(drift - lastDrift_) <= 0.25 * std::abs(lastDrift_))
            period_ += drift;
        lastDrift_ = repeated ? drift : 0;
        lastStep_ = step;
        sinceStep_ = 0;
    }
    t1_ += step;
    error -= step;
    if (step != 0)
        line_.shift(step);
    // The line takes the callbacks that fall as usual; a late one is the thread's lateness,
    // not the device's.
    if (lockedFor_ >= kFitAfterSeconds && std::abs(error) <= std::max(2e-5, 4 * usualError_))
        line_.add(frame, now);

    lockedFor_ += period_;
    const double bandwidth =
        std::max(tuning_.steadyBandwidthHz,
                 tuning_.lockBandwidthHz / (1 + lockedFor_ / tuning_.lockSeconds));
    const double omega = 2 * std::numbers::pi * bandwidth * (frames / nominalRate_);
    const double b = std::numbers::sqrt2 * omega;
    // With the rate still known from before a stall, the phase is found quickly while the rate
    // moves only as slowly as in a long lock.
    const double rateOmega =
        rateKnown_ ? 2 * std::numbers::pi * tuning_.steadyBandwidthHz * (frames / nominalRate_)
                   : omega;
    const double c = rateOmega * rateOmega;
    const double clamp = std::max(tuning_.clampSeconds, 4 * usualError_);
    error = std::clamp(error, -clamp, clamp);
    // Clamped too, so that one late callback does not make the loop deaf to jumps for a while.
    usualError_ += 0.02 * (std::abs(error) - usualError_);

    t0_ = t1_;
    t1_ += b * error + period_;
    // Once the line is long enough its slope is the rate: a loop's own estimate keeps a
    // little of every callback's jitter and wanders by parts per million, which a minute of
    // beats would show as drift. The loop then only follows the phase.
    const double fitted = line_.span() >= kFitSpanSeconds ? line_.secondsPerFrame() : 0;
    if (fitted > 0)
        period_ = fitted * frames;
    else
        period_ += c * error;
    n0_ = n1_;
    n1_ += frames;
    publish();
}

// Single late or early callbacks are jitter, and a run of late ones that then come in a burst
// is a thread that woke late and caught up. The same offset in several callbacks in a row, well
// beyond their usual scatter, is a new timeline: the server played silence while the stream was
// starved. Returns the offset to take over at once.
double FrameClock::takeStep(double error)
{
    recent_[recentNext_] = error;
    recentNext_ = (recentNext_ + 1) % kStepCallbacks;
    recentCount_ = std::min(recentCount_ + 1, kStepCallbacks);
    if (recentCount_ < kStepCallbacks)
        return 0;
    const auto [low, high] = std::minmax_element(std::begin(recent_), std::end(recent_));
    const double least = std::max(tuning_.stepSeconds, 6 * usualError_);
    const bool shifted = *low >= least || *high <= -least;
    // A jump is flat: the errors agree. A slope is a rate the loop has not learnt yet (a device
    // far off its nominal rate) and is left to the loop.
    const double flat = std::max(0.0002, 2 * usualError_);
    const double oldest = recent_[recentNext_];
    const double newest = recent_[(recentNext_ + kStepCallbacks - 1) % kStepCallbacks];
    if (!shifted || *high - *low > flat || std::abs(newest - oldest) > flat / 2)
        return 0;
    recentCount_ = 0;
    steps_.fetch_add(1, std::memory_order_relaxed);
    return 0.5 * (*low + *high);
}

void FrameClock::publish()
{
    const unsigned s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    originNs_.store(baseNs_ + std::int64_t(std::llround(t0_ * 1e9)), std::memory_order_relaxed);
    originFrame_.store(double(n0_), std::memory_order_relaxed);
    // The rate comes from the filtered period alone: the phase correction of this one update
    // belongs to the origin, not to the slope of the mapping.
    framesPerNs_.store(double(n1_ - n0_) / (period_ * 1e9), std::memory_order_relaxed);
    sequence_.store(s + 2, std::memory_order_release);
}

FrameClock::Mapping FrameClock::mapping() const
{
    Mapping m;
    for (;;) {
        const unsigned before = sequence_.load(std::memory_order_acquire);
        if (before & 1)
            continue;
        m.originNs = originNs_.load(std::memory_order_relaxed);
        m.originFrame = originFrame_.load(std::memory_order_relaxed);
        m.framesPerNs = framesPerNs_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) == before) {
            m.valid = before != 0;
            return m;
        }
    }
}

} // namespace platform
