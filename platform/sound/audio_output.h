#pragma once

#include "platform/sound/click_mixer.h"
#include "platform/sound/frame_clock.h"
#include "platform/sound/output_stream.h"
#include "platform/sound/sound_budget.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The output stream and what runs in its thread: the mixer that starts each click on its frame,
// and the frame clock that maps the monotonic clock to the frames the device asks for. The
// stream is a PulseAudio (or PipeWire) one, or one of SDL's drivers when SDL_AUDIODRIVER names
// one or no such server answers. Everything but the stream's feed runs on the user-interface
// thread.
class AudioOutput
{
public:
    // Makes the streams to try, in order; by default the sound server's, then SDL's.
    using StreamMaker = std::function<std::vector<std::unique_ptr<OutputStream>>()>;

    AudioOutput(const SoundBudget &budget, const FrameClock::Tuning &tuning,
                StreamMaker streams = {});
    // Does not wait for the stream to close: a device or a server that hangs cannot keep the
    // program from ending. The stream closes in a thread of its own.
    ~AudioOutput();
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Opens the default output and starts it, writing silence. On failure returns false and
    // sets `error`.
    bool open(std::string &error);
    void close();
    // Open, and not lost since.
    bool alive() const;

    int rate() const;
    int channels() const;
    // From asking for a frame to hearing it.
    std::chrono::nanoseconds lead() const;
    const char *streamName() const;
    // Counts the streams opened: a new number means a new timeline.
    std::uint64_t streams() const { return streams_; }

    FrameClock::Mapping mapping() const;
    MeasuredRate measuredRate() const;

    struct Stats {
        ClickMixer::Stats mixer;
        int clockRestarts = 0;                 // the frame clock's (re)starts: 1 after a clean run
        int clockSteps = 0;                    // jumps of the sound's timeline the clock took over
        int requestJumps = 0;                  // jumps of the requests alone, not the sound's
        int dropouts = 0;                      // times the server said it ran dry
        std::vector<std::int64_t> onsets;      // frames at which clicks started
        std::vector<std::int64_t> dropoutAt;   // frames at which the server ran dry
        std::vector<std::int64_t> clockStepAt; // frames at which the clock took a jump over
        // Where the sound broke, had it broken, at each jump of the requests alone.
        std::vector<std::int64_t> requestJumpAt;
        bool realtime = false; // the stream's thread runs with real-time scheduling
    };
    Stats stats() const;

    // Asks for real-time scheduling of the stream's thread once it has run (see AudioThread).
    void raiseStreamThread();

    // Queues `clip` to start at output frame `onset` (kAsap: as soon as possible). The clip is
    // kept alive until the stream's thread is done with it. False when the output is closed or
    // the queue is full (the stream has stopped taking requests).
    bool submit(const std::shared_ptr<const PcmClip> &clip, std::int64_t onset);

private:
    struct Session;

    SoundBudget budget_;
    FrameClock::Tuning tuning_;
    StreamMaker makeStreams_;
    std::unique_ptr<Session> session_;
    std::uint64_t serial_ = 0;
    std::uint64_t streams_ = 0;
};

} // namespace platform
