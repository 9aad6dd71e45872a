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
    : options_(options), output_(options.budget, options.clockTuning, options.streams),
      grid_(gridSettings(options.budget))
{
    hadOutput_ = tryToOpen();
}

Sound::~Sound() = default;

std::chrono::nanoseconds Sound::outputLatency() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(options_.budget.latency);
}

bool Sound::tryToOpen()
{
    lastAttempt_ = Clock::now();
    ++openAttempts_;
    std::string error;
    if (output_.open(error)) {
        if (openAttempts_ > 1)
            std::fprintf(stderr, "cadrel: uscita audio disponibile (%s)\n", output_.streamName());
        return true;
    }
    if (openAttempts_ == 1)
        std::fprintf(stderr,
                     "cadrel: nessuna uscita audio trovata (%s): si prosegue senza suono. Avviare "
                     "un server audio (PulseAudio o PipeWire), oppure scegliere un'altra uscita "
                     "con SDL_AUDIODRIVER; vedere cadrel(1).\n",
                     error.c_str());
    return false;
}

// A lost or missing output is looked for again at most once a second, and only said once.
bool Sound::ensureDevice()
{
    if (output_.alive())
        return true;
    if (hadOutput_) {
        std::fprintf(stderr, "cadrel: uscita audio persa; la si cerca di nuovo ogni secondo\n");
        output_.close();
        hadOutput_ = false;
    }
    if (Clock::now() - lastAttempt_ < kRetryInterval)
        return false;
    hadOutput_ = tryToOpen();
    return hadOutput_;
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

void Sound::play(const std::string &path, const core::BeatTime &beat)
{
    submit(path, beat);
}

void Sound::playNow(const std::string &path)
{
    submit(path, std::nullopt);
}

void Sound::submit(const std::string &path, const std::optional<core::BeatTime> &beat)
{
    if (!ensureDevice())
        return;
    output_.raiseStreamThread();
    output_.submit(clips_.clip(path, output_.rate(), output_.channels()), onsetFrame(beat));
}

// Every output takes stereo at the budget's rate (SDL converts where a device wants otherwise),
// so the clip can be read before any output is open.
void Sound::prepare(const std::string &path)
{
    clips_.clip(path, options_.budget.rate, 2);
}

Sound::Stats Sound::stats() const
{
    Stats s;
    s.deviceOpen = output_.alive();
    s.outputKind = output_.streamName();
    s.openAttempts = openAttempts_;
    s.rate = output_.rate();
    s.channels = output_.channels();
    s.fileLoads = clips_.loads();
    s.measuredRate = output_.mapping().framesPerNs * 1e9;
    s.stream = output_.stats();
    s.grid = grid_.stats();
    return s;
}

} // namespace platform
