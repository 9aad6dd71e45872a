#pragma once

#include "platform/sound/audio_output.h"
#include "platform/sound/clip_cache.h"

#include <chrono>
#include <optional>
#include <string>

namespace platform {

struct SoundOptions {
    // Start each click at the next buffer the device asks for, ignoring its time: how a plain
    // "play now" call behaves. Only for measuring the difference; the program never sets it.
    bool naive = false;
    int rate = 48000; // asked of the device, which may choose another
    // Asked of the device. Larger buffers underrun less but need more latency, since a click
    // can only go into a buffer not yet written. 1008 frames at 48 kHz last exactly 21 ms:
    // PulseAudio's null sink advances its clock by whole microseconds per chunk and runs a few
    // hundred ppm fast with buffers of other lengths (512 frames: 10666.67 us). Buffers of
    // half that size wake the audio thread twice as often for no gain in timing.
    int bufferFrames = 1008;
    // From a beat's due time to its click at the output. It covers the lateness of the timer
    // tick that asks for the click, the buffer the device is playing and the one being written.
    std::chrono::microseconds latency{50000};
    FrameClock::Tuning clockTuning;
};

// Plays short wave files with their onsets placed on the output to the frame: a click asked
// for beat due time T starts at T plus the constant output latency, however late the timer
// tick that asked for it ran and wherever the audio buffers fall.
class Sound
{
public:
    using Clock = std::chrono::steady_clock;

    // Opens the default output device at once, writing silence, so the first beat is not lost to
    // a waking sound server. Without a device it runs on silently (one line on standard error).
    Sound();
    explicit Sound(const SoundOptions &options);
    ~Sound();
    Sound(const Sound &) = delete;
    Sound &operator=(const Sound &) = delete;

    // Plays the wave file at `path` (narrow, local 8-bit encoding) asynchronously, with its
    // onset at `when` plus outputLatency(); with no time, or one too late for that, as soon as
    // possible. Cuts the sound still playing at the new onset. Returns at once.
    void play(const std::string &path, std::optional<Clock::time_point> when = std::nullopt);

    // The constant delay from a due time to its click at the output.
    std::chrono::nanoseconds outputLatency() const { return options_.latency; }

    // For tests and measurement.
    struct Stats {
        bool deviceOpen = false;
        bool realtime = false; // the audio thread runs with real-time scheduling
        int openAttempts = 0;  // the device opened at start, plus every retry
        int rate = 0;          // the device's frames per second
        int channels = 0;
        SDL_AudioFormat format = 0;
        int bufferFrames = 0;    // the device's buffer size
        int fileLoads = 0;       // files read and decoded
        int clockRestarts = 0;   // the frame clock's (re)starts: 1 after a clean run
        int clockSteps = 0;      // jumps of the output timeline taken over (server underruns)
        double measuredRate = 0; // the output's frames per second of the monotonic clock
        ClickMixer::Stats mixer;
    };
    Stats stats() const;

private:
    bool ensureDevice();
    std::int64_t onsetFrame(std::optional<Clock::time_point> when) const;

    SoundOptions options_;
    AudioOutput output_;
    ClipCache cache_;
    bool opened_ = false;
    bool reported_ = false;
    int openAttempts_ = 0;
    Clock::time_point lastAttempt_;
};

} // namespace platform
