#include "platform/sound/sound.h"

#include <cstdio>

namespace platform {
namespace {

// A lost or missing device is looked for again at most this often.
constexpr auto kRetryInterval = std::chrono::seconds(1);

ClickGrid::Settings gridSettings(const SoundBudget &budget)
{
    ClickGrid::Settings settings;
    settings.nominalRate = budget.rate;
    settings.boundFrames = budget.gridBound.count() / 1000.0 * budget.rate;
    return settings;
}

} // namespace

Sound::Sound() : Sound(SoundOptions{}) {}

Sound::Sound(const SoundOptions &options)
    : options_(options), output_(options.budget, options.clockTuning),
      grid_(gridSettings(options.budget))
{
    lastAttempt_ = Clock::now();
    std::string error;
    ++openAttempts_;
    if (!output_.open(error)) {
        std::fprintf(stderr, "cadrel: no audio output (%s); running without sound\n",
                     error.c_str());
        reported_ = true;
    }
}

Sound::~Sound() = default;

std::chrono::nanoseconds Sound::outputLatency() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(options_.budget.latency);
}

bool Sound::ensureDevice()
{
    if (output_.alive())
        return true;
    const auto now = Clock::now();
    if (now - lastAttempt_ < kRetryInterval)
        return false;
    lastAttempt_ = now;
    std::string error;
    ++openAttempts_;
    const bool opened = output_.open(error);
    if (!opened && !reported_) {
        std::fprintf(stderr, "cadrel: audio output lost (%s); retrying\n", error.c_str());
        reported_ = true;
    }
    return opened;
}

std::int64_t Sound::onsetFrame(const std::optional<core::BeatTime> &beat)
{
    if (options_.naive || !beat)
        return kAsap;
    // The clock maps a time to the frame the device asks for then, which is heard one lead
    // later.
    const auto onset = grid_.place(*beat, output_.mapping(), outputLatency() - output_.lead(),
                                   output_.streams(), output_.measuredRate());
    return onset ? *onset : kAsap;
}

void Sound::play(const std::string &path, std::optional<core::BeatTime> beat)
{
    if (!ensureDevice())
        return;
    output_.raiseStreamThread();
    auto clip = cache_.get(path, output_.rate(), output_.channels());
    output_.submit(clip, onsetFrame(beat));
}

Sound::Stats Sound::stats() const
{
    Stats s;
    s.deviceOpen = output_.alive();
    s.outputKind = output_.streamName();
    s.openAttempts = openAttempts_;
    s.rate = output_.rate();
    s.channels = output_.channels();
    s.fileLoads = cache_.loads();
    s.measuredRate = output_.mapping().framesPerNs * 1e9;
    s.stream = output_.stats();
    s.grid = grid_.stats();
    return s;
}

} // namespace platform
