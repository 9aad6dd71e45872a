#include "platform/sound/beat_engine.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

constexpr double kNsPerSecond = 1e9;

} // namespace

BeatEngine::BeatEngine(const Settings &settings)
    : settings_(settings), voices_(settings.channels, settings.fadeFrames)
{
    stats_.onsets.reserve(kOnsetsKept);
}

double BeatEngine::frameHeardAt(const Timing &timing, std::int64_t ns) const
{
    const double frame =
        double(timing.frame) + double(ns - timing.ns) * settings_.rate / kNsPerSecond;
    return timing.dryAt >= 0 ? std::min(frame, double(timing.dryAt)) : frame;
}

std::int64_t BeatEngine::heardNs(const Timing &timing, double frame) const
{
    return timing.ns + std::int64_t(std::llround((frame - double(timing.frame)) * kNsPerSecond /
                                                 settings_.rate));
}

// A beat is heard once its frame is: the frame heard at that time is at or past it. A beat
// left with an output no longer in use keeps the time that output gave it.
bool BeatEngine::heardBy(const Placed &beat, std::int64_t ns) const
{
    if (beat.atNs >= 0)
        return beat.atNs <= ns;
    return double(beat.frame) <= frameHeardAt(current_, ns);
}

void BeatEngine::setClip(std::shared_ptr<const PcmClip> clip)
{
    const std::lock_guard lock(mutex_);
    clip_ = std::move(clip);
}

int BeatEngine::takeHeard(std::int64_t nowNs)
{
    const std::lock_guard lock(mutex_);
    int heard = 0;
    while (!placed_.empty() && heardBy(placed_.front(), nowNs)) {
        placed_.pop_front();
        ++heard;
    }
    stats_.heard += heard;
    return heard;
}

std::optional<std::int64_t> BeatEngine::nextHeardNs() const
{
    const std::lock_guard lock(mutex_);
    if (placed_.empty())
        return std::nullopt;
    const Placed &next = placed_.front();
    if (next.atNs >= 0)
        return next.atNs;
    // While the output has run dry, nobody can say.
    if (current_.dryAt >= 0 && next.frame > current_.dryAt)
        return std::nullopt;
    return heardNs(current_, double(next.frame));
}

bool BeatEngine::running() const
{
    const std::lock_guard lock(mutex_);
    return run_.has_value();
}

bool BeatEngine::idle(int output, std::int64_t nowNs) const
{
    const std::lock_guard lock(mutex_);
    if (output == incoming_)
        return false;
    return !run_ && placed_.empty() && !rewriteFrom_ &&
           double(voices_.silentFrom()) <= frameHeardAt(current_, nowNs);
}

void BeatEngine::use(int output, bool rewrites)
{
    const std::lock_guard lock(mutex_);
    incoming_ = output == active_ ? -1 : output;
    incomingRewrites_ = rewrites;
}

int BeatEngine::inUse() const
{
    const std::lock_guard lock(mutex_);
    return active_;
}

bool BeatEngine::wanted(int output) const
{
    const std::lock_guard lock(mutex_);
    return output == active_ || output == incoming_;
}

void BeatEngine::fill(int output, float *out, int frames, std::int64_t firstFrame,
                      std::int64_t firstHeardNs, bool settled)
{
    const std::lock_guard lock(mutex_);
    const bool timed = firstHeardNs >= 0;
    // A guess of when a device yet to start will play would put the beat off its grid.
    if (output == incoming_ && timed && settled)
        takeOver(output, firstFrame, firstHeardNs);
    if (output != active_) {
        std::fill(out, out + std::int64_t(frames) * settings_.channels, 0.0f);
        return;
    }
    // No beat is placed by a guess of when the frames will be heard.
    if (timed) {
        current_ = Timing{output, firstFrame, firstHeardNs, -1};
        place(output, firstFrame, frames);
    }
    voices_.render(out, frames, firstFrame);
    written_ = firstFrame + frames;
    voices_.forgetEndedBy(written_ - settings_.keptFrames);
}

// A run's grid is laid at the fill whose frames hold its first beat, by the timing the output
// gives then; from there on its beats are counted in frames alone. A beat whose frame the output
// asked for too late to play it is not heard, and not played late either: the next one is on
// time.
void BeatEngine::place(int output, std::int64_t firstFrame, int frames)
{
    if (!run_)
        return;
    Run &run = *run_;
    const std::int64_t end = firstFrame + frames;
    if (!run.laid) {
        run.origin = frameHeardAt(current_, run.pressNs);
        if (run.origin + run.period >= double(end))
            return;
        run.laid = true;
    }
    for (;; ++run.next) {
        const auto frame = std::int64_t(std::llround(run.origin + double(run.next) * run.period));
        if (frame >= end)
            return;
        if (frame < firstFrame) {
            ++stats_.missed;
            continue;
        }
        const bool sounded = soundOn_ && clip_;
        if (sounded) {
            voices_.add(clip_, frame);
            if (stats_.onsets.size() < kOnsetsKept)
                stats_.onsets.push_back(frame);
        }
        placed_.push_back(Placed{output, frame, sounded, -1});
        ++stats_.placed;
    }
}

void BeatEngine::ranDry(int output, std::int64_t at)
{
    const std::lock_guard lock(mutex_);
    if (output != active_)
        return;
    current_.dryAt = at >= 0 ? at : written_;
    ++stats_.dropouts;
}

BeatEngine::Stats BeatEngine::stats() const
{
    const std::lock_guard lock(mutex_);
    return stats_;
}

} // namespace platform
