#include "platform/sound/sound.h"

#include <cmath>
#include <cstdio>

namespace platform {
namespace {

// A lost or missing device is looked for again at most this often.
constexpr auto kRetryInterval = std::chrono::seconds(1);

AudioOutput::Config outputConfig(const SoundOptions &options)
{
    return {options.rate, options.bufferFrames, options.clockTuning};
}

} // namespace

Sound::Sound() : Sound(SoundOptions{}) {}

Sound::Sound(const SoundOptions &options) : options_(options), output_(outputConfig(options))
{
    lastAttempt_ = Clock::now();
    const char *error = "";
    ++openAttempts_;
    opened_ = output_.open(error);
    if (!opened_) {
        std::fprintf(stderr, "cadrel: no audio output (%s); running without sound\n", error);
        reported_ = true;
    }
}

Sound::~Sound() = default;

bool Sound::ensureDevice()
{
    if (output_.alive())
        return true;
    const auto now = Clock::now();
    if (now - lastAttempt_ < kRetryInterval)
        return false;
    lastAttempt_ = now;
    const char *error = "";
    ++openAttempts_;
    opened_ = output_.open(error);
    if (!opened_ && !reported_) {
        std::fprintf(stderr, "cadrel: audio output lost (%s); retrying\n", error);
        reported_ = true;
    }
    return opened_;
}

std::int64_t Sound::onsetFrame(std::optional<Clock::time_point> when) const
{
    const FrameClock::Mapping mapping = output_.mapping();
    if (options_.naive || !when || !mapping.valid)
        return kAsap;
    // The clock maps a time to the frame the callback asks for then; that frame reaches the
    // output one device buffer later, which the latency already includes.
    const auto queued =
        std::chrono::nanoseconds(std::int64_t(1e9) * output_.bufferFrames() / output_.rate());
    const auto target = *when + options_.latency - queued;
    const std::int64_t targetNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(target.time_since_epoch()).count();
    // Rounded once from the exact mapping, never from the previous onset, so that no rounding
    // error accumulates from beat to beat.
    return std::llround(mapping.frameAt(targetNs));
}

void Sound::play(const std::string &path, std::optional<Clock::time_point> when)
{
    if (!ensureDevice())
        return;
    output_.raiseCallbackThread();
    auto clip = cache_.get(path, output_.rate(), output_.channels());
    output_.submit(clip, onsetFrame(when));
}

Sound::Stats Sound::stats() const
{
    Stats s;
    s.deviceOpen = output_.alive();
    s.realtime = output_.callbackThreadRealtime();
    s.openAttempts = openAttempts_;
    s.rate = output_.rate();
    s.channels = output_.channels();
    s.format = output_.format();
    s.bufferFrames = output_.bufferFrames();
    s.fileLoads = cache_.loads();
    s.clockRestarts = output_.clockRestarts();
    s.clockSteps = output_.clockSteps();
    s.measuredRate = output_.mapping().framesPerNs * 1e9;
    s.mixer = output_.stats();
    return s;
}

} // namespace platform
