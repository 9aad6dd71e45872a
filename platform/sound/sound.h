#pragma once

#include "core/beat_time.h"
#include "core/interfaces.h"
#include "platform/sound/audio_output.h"
#include "platform/sound/click_grid.h"
#include "platform/sound/clip_loader.h"
#include "platform/sound/sound_budget.h"

#include <chrono>
#include <optional>
#include <string>

namespace platform {

struct SoundOptions {
    // Start each click at the next frame not yet written, ignoring its beat: how a plain
    // "play now" call behaves. Only for measuring the difference; the program never sets it.
    bool naive = false;
    SoundBudget budget;
    FrameClock::Tuning clockTuning;
    // The outputs to try; by default the sound server's, then SDL's (see AudioOutput).
    AudioOutput::StreamMaker streams;
};

// Plays short wave files with their onsets placed on the output to the frame: the click of a
// beat due at T starts at T plus the constant output latency, however late the timer tick that
// asked for it ran and wherever the audio buffers fall, and the clicks of one run of beats lie
// exactly one beat period apart in the output stream.
class Sound : public core::ClickPlayer
{
public:
    using Clock = std::chrono::steady_clock;

    // Opens the default output device at once, writing silence, so the first beat is not lost
    // to a waking sound server. Without a device it runs on silently, and looks for one again
    // at most once a second while it is asked to play. It says on standard error, one line
    // each, when no output was found, when it was lost and when it came back.
    Sound();
    explicit Sound(const SoundOptions &options);
    // Does not wait for the output to close (see AudioOutput).
    ~Sound() override;
    Sound(const Sound &) = delete;
    Sound &operator=(const Sound &) = delete;

    // Plays the wave file at `path` (narrow, in the file system's own bytes) asynchronously,
    // on the beat's grid at its due time plus outputLatency(), or as soon as possible when that
    // is too late for its frame. Cuts the sound still playing at the new onset. Returns at once.
    void play(const std::string &path, const core::BeatTime &beat) override;
    // The same, as soon as possible.
    void playNow(const std::string &path);
    // Has the file at `path` read ahead of its first beat.
    void prepare(const std::string &path) override;
    // For tests: waits until every file asked for so far has been looked at.
    bool filesLookedAt(std::chrono::milliseconds limit) const
    {
        return clips_.waitUntilLookedAt(limit);
    }

    // The constant delay from a due time to its click at the output.
    std::chrono::nanoseconds outputLatency() const;

    // For tests and measurement.
    struct Stats {
        bool deviceOpen = false;
        const char *outputKind = "none"; // the kind of output stream
        int openAttempts = 0;            // the device opened at start, plus every retry
        int rate = 0;                    // the device's frames per second
        int channels = 0;
        int fileLoads = 0;       // files read and decoded
        double measuredRate = 0; // the output's frames per second of the monotonic clock
        AudioOutput::Stats stream;
        ClickGrid::Stats grid;
    };
    Stats stats() const;

private:
    bool ensureDevice();
    std::int64_t onsetFrame(const std::optional<core::BeatTime> &beat);
    void submit(const std::string &path, const std::optional<core::BeatTime> &beat);
    bool tryToOpen();

    SoundOptions options_;
    AudioOutput output_;
    ClipLoader clips_;
    ClickGrid grid_;
    bool hadOutput_ = false; // the last look found an output
    int openAttempts_ = 0;
    Clock::time_point lastAttempt_;
};

} // namespace platform
