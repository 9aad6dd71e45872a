#pragma once

#include "platform/sound/audio_thread.h"
#include "platform/sound/click_mixer.h"
#include "platform/sound/frame_clock.h"

#include <cstdint>
#include <memory>
#include <SDL.h>
#include <vector>

namespace platform {

// The SDL output stream: opens the default device in its own format, rate and buffer size where
// SDL allows, writes silence until clicks arrive, and runs the mixer and the frame clock in the
// audio callback. Everything but the callback runs on the user-interface thread.
class AudioOutput
{
public:
    struct Config {
        int rate = 48000;        // asked for; the device may choose another
        int bufferFrames = 1008; // asked for; the device may choose another
        FrameClock::Tuning tuning;
    };

    explicit AudioOutput(Config config);
    ~AudioOutput();
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Opens the default device and starts it. On failure returns false and sets `error`.
    bool open(const char *&error);
    void close();
    // Open, and not lost since (a device can vanish while the program runs).
    bool alive() const;

    int rate() const { return obtained_.freq; }
    int channels() const { return obtained_.channels; }
    SDL_AudioFormat format() const { return obtained_.format; }
    int bufferFrames() const { return obtained_.samples; }

    FrameClock::Mapping mapping() const;
    ClickMixer::Stats stats() const;
    int clockRestarts() const { return clock_ ? clock_->restarts() : 0; }
    int clockSteps() const { return clock_ ? clock_->steps() : 0; }

    // Asks for real-time scheduling of the callback's thread once it has run (see AudioThread).
    bool raiseCallbackThread() { return thread_.raise(); }
    bool callbackThreadRealtime() const { return thread_.realtime(); }

    // Queues `clip` to start at output frame `onset` (kAsap: as soon as possible). The clip is
    // kept alive until the callback is done with it. False when the device is closed or the
    // queue is full (the callback has stopped taking requests).
    bool submit(const std::shared_ptr<const PcmClip> &clip, std::int64_t onset);
    // Frees the clips the callback has handed back.
    void collectReturns();

private:
    static void SDLCALL callback(void *self, Uint8 *stream, int len);
    void fill(Uint8 *stream, int len);
    bool openDevice(int allowedChanges, const char *&error);

    Config config_;
    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec obtained_{};
    std::vector<float> scratch_;     // the mix, when the device does not take floats
    std::int64_t framesWritten_ = 0; // callback thread only while the device runs
    std::uint64_t serial_ = 0;
    AudioThread thread_;

    std::unique_ptr<RequestQueue> requests_;
    std::unique_ptr<ReturnQueue> returns_;
    std::unique_ptr<FrameClock> clock_;
    std::unique_ptr<ClickMixer> mixer_;
};

} // namespace platform
