#pragma once

#include "platform/sound/click_mixer.h"
#include "platform/sound/frame_clock.h"
#include "platform/sound/frame_log.h"
#include "platform/sound/output_stream.h"
#include "platform/sound/sound_budget.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The output stream and what runs in its thread: the mixer that starts each click on its frame,
// and the frame clock that maps the monotonic clock to the frames the device asks for. The
// stream is a PulseAudio (or PipeWire) one, or one of SDL's drivers when SDL_AUDIODRIVER names
// one or no such server answers. Everything but the stream's feed runs on the user-interface
// thread.
class AudioOutput : private StreamFeed
{
public:
    AudioOutput(const SoundBudget &budget, const FrameClock::Tuning &tuning);
    ~AudioOutput() override;
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Opens the default output and starts it, writing silence. On failure returns false and
    // sets `error`.
    bool open(std::string &error);
    void close();
    // Open, and not lost since.
    bool alive() const { return stream_ && stream_->alive(); }

    int rate() const { return stream_ ? stream_->rate() : 0; }
    int channels() const { return stream_ ? stream_->channels() : 0; }
    // From asking for a frame to hearing it.
    std::chrono::nanoseconds lead() const
    {
        return stream_ ? stream_->lead() : std::chrono::nanoseconds{};
    }
    const char *streamName() const { return stream_ ? stream_->name() : "none"; }
    // Counts the streams opened: a new number means a new timeline.
    std::uint64_t streams() const { return streams_; }

    FrameClock::Mapping mapping() const;
    MeasuredRate measuredRate() const { return clock_ ? clock_->measuredRate() : MeasuredRate{}; }

    struct Stats {
        ClickMixer::Stats mixer;
        int clockRestarts = 0;                 // the frame clock's (re)starts: 1 after a clean run
        int clockSteps = 0;                    // jumps of the timeline the clock took over
        int dropouts = 0;                      // times the server said it ran dry
        std::vector<std::int64_t> onsets;      // frames at which clicks started
        std::vector<std::int64_t> dropoutAt;   // frames at which the server ran dry
        std::vector<std::int64_t> clockStepAt; // frames at which the clock took a jump over
        bool realtime = false;                 // the stream's thread runs with real-time scheduling
    };
    Stats stats() const;

    // Asks for real-time scheduling of the stream's thread once it has run (see AudioThread).
    void raiseStreamThread();

    // Queues `clip` to start at output frame `onset` (kAsap: as soon as possible). The clip is
    // kept alive until the stream's thread is done with it. False when the output is closed or
    // the queue is full (the stream has stopped taking requests).
    bool submit(const std::shared_ptr<const PcmClip> &clip, std::int64_t onset);

private:
    void asked(int frames, std::int64_t nowNs) override;
    void render(float *out, int frames) override;
    void dropout() override;
    bool openStream(std::unique_ptr<OutputStream> stream, std::string &error);
    void collectReturns();

    SoundBudget budget_;
    FrameClock::Tuning tuning_;
    std::unique_ptr<OutputStream> stream_;
    std::uint64_t serial_ = 0;
    std::uint64_t streams_ = 0;

    // Written by the stream's thread while it runs.
    std::int64_t framesWritten_ = 0;
    std::atomic<bool> ready_{false}; // the clock and the mixer are made
    std::unique_ptr<RequestQueue> requests_;
    std::unique_ptr<ReturnQueue> returns_;
    std::unique_ptr<FrameClock> clock_;
    std::unique_ptr<ClickMixer> mixer_;
    std::atomic<int> dropouts_{0};
    FrameLog<256> dropoutAt_;
    FrameLog<256> clockStepAt_;
};

} // namespace platform
