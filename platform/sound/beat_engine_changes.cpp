#include "platform/sound/beat_engine.h"

#include <algorithm>
#include <cmath>

// The beat engine's changes of course: runs begun and ended, the sound turned on and off, clicks
// taken back and written again, and another output taking the beat over.
namespace platform {

// Clicks before this frame of the output in use can no longer be taken back at `ns`: an output
// that cannot write again holds what it wrote; one that can, holds it for a while, or until its
// server takes it.
std::int64_t BeatEngine::earliestRewritable(std::int64_t ns) const
{
    if (!rewrites_)
        return written_;
    std::int64_t earliest = written_ - settings_.keptFrames;
    if (taken_)
        earliest = std::max(earliest, std::int64_t(std::ceil(frameHeardAt(*taken_, ns))));
    return std::min(earliest, written_);
}

void BeatEngine::taken(int output, std::int64_t frame, std::int64_t atNs)
{
    const std::lock_guard lock(mutex_);
    if (output == active_)
        taken_ = Timing{output, frame, atNs, -1};
}

int BeatEngine::start(std::int64_t pressNs, double periodMs)
{
    const std::lock_guard lock(mutex_);
    const int kept = run_ ? takeBackAfter(pressNs) : 0;
    Run run;
    run.pressNs = pressNs;
    run.period = periodMs / 1000.0 * settings_.rate;
    run_ = run;
    return kept;
}

int BeatEngine::stop(std::int64_t pressNs)
{
    const std::lock_guard lock(mutex_);
    if (!run_)
        return 0;
    const int kept = takeBackAfter(pressNs);
    run_.reset();
    return kept;
}

// The beats heard after the press are taken back, and so are their clicks in the stream; those
// whose clicks can no longer be taken back are counted as heard.
int BeatEngine::takeBackAfter(std::int64_t pressNs)
{
    const std::int64_t earliest = earliestRewritable(pressNs);
    int kept = 0;
    while (!placed_.empty() && !heardBy(placed_.back(), pressNs)) {
        const Placed &beat = placed_.back();
        if (beat.output == active_ && beat.frame < earliest && beat.sounded)
            ++kept;
        else
            ++stats_.takenBack;
        placed_.pop_back();
    }
    stats_.heard += kept;
    takeBackClicksAfter(pressNs);
    return kept;
}

// Takes back the clicks heard after `ns` that can still be; the first frame taken back.
std::optional<std::int64_t> BeatEngine::takeBackClicksAfter(std::int64_t ns)
{
    if (active_ < 0)
        return std::nullopt;
    const auto lastHeard = std::int64_t(std::floor(frameHeardAt(current_, ns)));
    const auto from = voices_.takeBackFrom(std::max(lastHeard + 1, earliestRewritable(ns)));
    if (!from)
        return std::nullopt;
    rewriteFrom(*from);
    auto &onsets = stats_.onsets;
    onsets.erase(
        std::remove_if(onsets.begin(), onsets.end(), [&](std::int64_t f) { return f >= *from; }),
        onsets.end());
    return from;
}

// Frames already written from `frame` on are to be written again.
void BeatEngine::rewriteFrom(std::int64_t frame)
{
    if (frame < written_)
        rewriteFrom_ = rewriteFrom_ ? std::min(*rewriteFrom_, frame) : frame;
}

void BeatEngine::setSoundOn(bool on, std::int64_t nowNs)
{
    const std::lock_guard lock(mutex_);
    if (on == soundOn_)
        return;
    soundOn_ = on;
    if (!on) {
        if (const auto from = takeBackClicksAfter(nowNs))
            for (Placed &beat : placed_)
                if (beat.output == active_ && beat.frame >= *from)
                    beat.sounded = false;
        return;
    }
    const std::int64_t earliest = earliestRewritable(nowNs);
    for (Placed &beat : placed_) {
        if (beat.output != active_ || heardBy(beat, nowNs) || !clip_ || beat.sounded ||
            beat.frame < earliest)
            continue;
        voices_.add(clip_, beat.frame);
        beat.sounded = true;
        rewriteFrom(beat.frame);
        if (stats_.onsets.size() < kOnsetsKept)
            stats_.onsets.push_back(beat.frame);
    }
}

// The beats the old output would play after the new one's first frame is heard move to the new
// stream, on the grid carried over by the time each is heard; those before stay with the old,
// heard at the times it gave them.
void BeatEngine::takeOver(int output, std::int64_t firstFrame, std::int64_t firstHeardNs)
{
    const Timing fresh{output, firstFrame, firstHeardNs, -1};
    if (active_ >= 0) {
        while (run_ && run_->laid && !placed_.empty() && placed_.back().atNs < 0 &&
               heardNs(current_, double(placed_.back().frame)) >= firstHeardNs) {
            placed_.pop_back();
            --run_->next;
        }
        for (Placed &beat : placed_)
            if (beat.atNs < 0)
                beat.atNs = heardNs(current_, double(beat.frame));
        if (run_ && run_->laid) {
            const double nextFrame = run_->origin + double(run_->next) * run_->period;
            const std::int64_t nextNs = heardNs(current_, nextFrame);
            run_->origin = frameHeardAt(fresh, nextNs) - double(run_->next) * run_->period;
        }
    }
    current_ = fresh;
    active_ = output;
    rewrites_ = incomingRewrites_;
    incoming_ = -1;
    written_ = firstFrame;
    taken_.reset();
    voices_.clear();
    rewriteFrom_.reset();
    stats_.onsets.clear();
    ++stats_.takeovers;
}

int BeatEngine::rewrite(int output, std::vector<float> &out)
{
    const std::lock_guard lock(mutex_);
    if (output != active_ || !rewriteFrom_)
        return 0;
    const std::int64_t from = *rewriteFrom_;
    rewriteFrom_.reset();
    const auto frames = int(written_ - from);
    if (frames <= 0)
        return 0;
    out.resize(std::size_t(frames) * std::size_t(settings_.channels));
    voices_.render(out.data(), frames, from);
    return frames;
}

} // namespace platform
