#include "platform/sound/beat_engine.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

constexpr double kNsPerSecond = 1e9;
constexpr std::size_t kOnsetsKept = 1 << 16;

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

const BeatEngine::Timing &BeatEngine::timingOf(int output) const
{
    return output == current_.output ? current_ : previous_;
}

// A beat is heard once its frame is: the frame heard at that time is at or past it.
bool BeatEngine::heardBy(const Placed &beat, std::int64_t ns) const
{
    return double(beat.frame) <= frameHeardAt(timingOf(beat.output), ns);
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
// whose clicks the output cannot take back are counted as heard.
int BeatEngine::takeBackAfter(std::int64_t pressNs)
{
    int kept = 0;
    while (!placed_.empty() && !heardBy(placed_.back(), pressNs)) {
        const Placed &beat = placed_.back();
        if (!rewrites_ && beat.output == active_ && beat.frame < written_ && soundOn_)
            ++kept;
        else
            ++stats_.takenBack;
        placed_.pop_back();
    }
    stats_.heard += kept;
    if (rewrites_)
        takeBackClicksAfter(pressNs);
    return kept;
}

void BeatEngine::takeBackClicksAfter(std::int64_t ns)
{
    if (active_ < 0)
        return;
    // Only what is not written yet, from an output that cannot write again.
    const auto lastHeard = std::int64_t(std::floor(frameHeardAt(current_, ns)));
    const std::int64_t earliest = rewrites_ ? written_ - settings_.keptFrames : written_;
    const auto from = voices_.takeBackFrom(std::max(lastHeard + 1, earliest));
    if (!from)
        return;
    rewriteFrom(*from);
    auto &onsets = stats_.onsets;
    onsets.erase(
        std::remove_if(onsets.begin(), onsets.end(), [&](std::int64_t f) { return f >= *from; }),
        onsets.end());
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
        takeBackClicksAfter(nowNs);
        return;
    }
    for (const Placed &beat : placed_) {
        if (beat.output != active_ || heardBy(beat, nowNs) || !clip_ ||
            (!rewrites_ && beat.frame < written_))
            continue;
        voices_.add(clip_, beat.frame);
        rewriteFrom(beat.frame);
        if (stats_.onsets.size() < kOnsetsKept)
            stats_.onsets.push_back(beat.frame);
    }
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
    return heardNs(timingOf(next.output), double(next.frame));
}

bool BeatEngine::running() const
{
    const std::lock_guard lock(mutex_);
    return run_.has_value();
}

bool BeatEngine::idle(std::int64_t nowNs) const
{
    const std::lock_guard lock(mutex_);
    return !run_ && placed_.empty() && !rewriteFrom_ &&
           double(voices_.silentFrom()) <= frameHeardAt(current_, nowNs);
}

void BeatEngine::use(int output, bool rewrites)
{
    const std::lock_guard lock(mutex_);
    if (output != active_) {
        incoming_ = output;
        incomingRewrites_ = rewrites;
    }
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

// The beats the old output would play after the new one's first frame is heard move to the new
// stream, on the grid carried over by the time each is heard; those before stay with the old.
void BeatEngine::takeOver(int output, std::int64_t firstFrame, std::int64_t firstHeardNs)
{
    Timing fresh{output, firstFrame, firstHeardNs, -1};
    if (run_ && run_->laid && active_ >= 0) {
        while (!placed_.empty() && placed_.back().output == active_ &&
               heardNs(current_, double(placed_.back().frame)) >= firstHeardNs) {
            placed_.pop_back();
            --run_->next;
        }
        const double nextFrame = run_->origin + double(run_->next) * run_->period;
        const std::int64_t nextNs = heardNs(current_, nextFrame);
        run_->origin = frameHeardAt(fresh, nextNs) - double(run_->next) * run_->period;
    }
    previous_ = current_;
    current_ = fresh;
    active_ = output;
    rewrites_ = incomingRewrites_;
    incoming_ = -1;
    written_ = firstFrame;
    voices_ = ClickVoices(settings_.channels, settings_.fadeFrames);
    rewriteFrom_.reset();
    stats_.onsets.clear();
    ++stats_.takeovers;
}

void BeatEngine::fill(int output, float *out, int frames, std::int64_t firstFrame,
                      std::int64_t firstHeardNs)
{
    const std::lock_guard lock(mutex_);
    const bool timed = firstHeardNs >= 0;
    if (output == incoming_ && timed)
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
        if (soundOn_ && clip_) {
            voices_.add(clip_, frame);
            if (stats_.onsets.size() < kOnsetsKept)
                stats_.onsets.push_back(frame);
        }
        placed_.push_back(Placed{output, frame});
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

BeatEngine::Stats BeatEngine::stats() const
{
    const std::lock_guard lock(mutex_);
    return stats_;
}

} // namespace platform
