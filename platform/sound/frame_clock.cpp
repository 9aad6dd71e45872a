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
    started_ = true;
    baseNs_ = nowNs;
    period_ = frames / nominalRate_;
    t0_ = 0;
    t1_ = period_;
    n0_ = frame;
    n1_ = frame + frames;
    lockedFor_ = 0;
    recentCount_ = 0;
    lastStep_ = 0;
    sinceStep_ = 0;
    usualError_ = period_; // wide open until the loop has seen how the callbacks fall
    restarts_.fetch_add(1, std::memory_order_relaxed);
}

void FrameClock::update(std::int64_t frame, int frames, std::int64_t nowNs)
{
    if (frames <= 0)
        return;
    const double now = double(nowNs - baseNs_) * 1e-9;
    // A callback far off the prediction, or a frame count that does not continue the last
    // buffer, means the stream restarted or stalled: the old lock no longer describes it.
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
        // Jumps the same way again and again are a rate the loop is slow to learn (it narrows
        // quickly for beat-to-beat steadiness): take the rate they show over at once as well.
        if ((step > 0) == (lastStep_ > 0) && sinceStep_ < kRepeatCallbacks)
            period_ += step / sinceStep_;
        lastStep_ = step;
        sinceStep_ = 0;
    }
    t1_ += step;
    error -= step;

    lockedFor_ += period_;
    const double bandwidth =
        std::max(tuning_.steadyBandwidthHz,
                 tuning_.lockBandwidthHz / (1 + lockedFor_ / tuning_.lockSeconds));
    const double omega = 2 * std::numbers::pi * bandwidth * (frames / nominalRate_);
    const double b = std::numbers::sqrt2 * omega;
    const double c = omega * omega;
    const double clamp = std::max(tuning_.clampSeconds, 4 * usualError_);
    usualError_ += 0.02 * (std::abs(error) - usualError_);
    error = std::clamp(error, -clamp, clamp);

    t0_ = t1_;
    t1_ += b * error + period_;
    period_ += c * error;
    n0_ = n1_;
    n1_ += frames;
    publish();
}

// Single late or early callbacks are jitter, and a run of late ones that then come in a burst
// is a thread that woke late and caught up. The same offset in several callbacks in a row is a
// new timeline: the server played silence while the stream was starved. Returns the offset to
// take over at once.
double FrameClock::takeStep(double error)
{
    recent_[recentNext_] = error;
    recentNext_ = (recentNext_ + 1) % kStepCallbacks;
    recentCount_ = std::min(recentCount_ + 1, kStepCallbacks);
    if (recentCount_ < kStepCallbacks)
        return 0;
    const auto [low, high] = std::minmax_element(std::begin(recent_), std::end(recent_));
    const bool shifted = *low >= tuning_.stepSeconds || *high <= -tuning_.stepSeconds;
    // A jump is flat: the errors of the older and the newer half agree. A slope is a rate the
    // loop has not learnt yet (a device far off its nominal rate) and is left to the loop.
    double older = 0, newer = 0;
    for (int i = 0; i < kStepCallbacks; ++i)
        (i < kStepCallbacks / 2 ? older : newer) += recent_[(recentNext_ + i) % kStepCallbacks];
    const double slope = std::abs(newer - older) / (kStepCallbacks / 2);
    constexpr double kFlat = 0.0005; // s: how far the errors of one jump may scatter
    if (!shifted || *high - *low > kFlat || slope > kFlat / 4)
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
