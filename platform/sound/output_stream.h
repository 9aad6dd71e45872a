#pragma once

#include "platform/sound/audio_thread.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

// The monotonic clock's now, in nanoseconds, as the feed is told when frames are asked for.
inline std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What an output stream asks of the click facility, from the thread that feeds the device.
class StreamFeed
{
public:
    virtual ~StreamFeed() = default;
    // The device asks for the next `frames` frames at `nowNs` on the monotonic clock; they are
    // then rendered, in one piece or several.
    virtual void asked(int frames, std::int64_t nowNs) = 0;
    // Fills `frames` frames of interleaved floats, the next ones in the stream.
    virtual void render(float *out, int frames) = 0;
    // The server ran out of the stream's audio at frame `at` (counted from the stream's first)
    // and played silence: everything after sounds later by the gap.
    virtual void dropout(std::int64_t at) = 0;
};

// One way to the speakers: a PulseAudio or PipeWire server, or one of SDL's drivers. The
// stream calls its feed from its own thread for every piece of audio the device takes.
class OutputStream
{
public:
    virtual ~OutputStream() = default;
    // Opens the default device and starts it, writing what the feed renders. On failure
    // returns false with the reason in `error`.
    virtual bool open(StreamFeed &feed, std::string &error) = 0;
    // Stops the feed for good; returns once it is no longer called.
    virtual void close() = 0;
    // Open, and not lost since (a server can go away while the program runs).
    virtual bool alive() const = 0;
    virtual int rate() const = 0;
    virtual int channels() const = 0;
    // From the moment a frame is asked for to the moment it is heard.
    virtual std::chrono::nanoseconds lead() const = 0;
    virtual const char *name() const = 0;
    // The stream's feed hears of every silence the server played in its place (dropout()).
    virtual bool announcesSilence() const { return false; }

    // The thread that calls the feed.
    AudioThread &thread() { return thread_; }

private:
    AudioThread thread_;
};

} // namespace platform
