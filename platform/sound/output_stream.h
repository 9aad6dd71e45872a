#pragma once

#include "platform/sound/audio_thread.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The monotonic clock's now, in nanoseconds: the clock every output tells its timing on.
inline std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What an output stream asks of the beat, from the thread that feeds the device.
class StreamFiller
{
public:
    virtual ~StreamFiller() = default;
    // Writes `frames` frames of output `output` into `out`: its frames from `firstFrame` on
    // (counted from its stream's first), the first of them heard at `firstHeardNs` (-1: the
    // output cannot tell yet). `settled`: the time was told by a device that plays, not guessed
    // for one yet to start; only such a time carries a beat over from another output.
    virtual void fill(int output, float *out, int frames, std::int64_t firstFrame,
                      std::int64_t firstHeardNs, bool settled) = 0;
    // The server played silence in place of output `output`'s frames from `at` on (-1: from
    // the end of what it was given).
    virtual void ranDry(int output, std::int64_t at) = 0;
    // The frames of output `output` to write again, ending where its stream ends, into `out`.
    // Returns how many (0: none).
    virtual int rewrite(int output, std::vector<float> &out) = 0;
    // Nothing left for output `output` to write but silence by `nowNs`: never while it is yet
    // to take the beat over, which it can only do playing.
    virtual bool idle(int output, std::int64_t nowNs) const = 0;
    // Output `output`'s server holds its frames before `frame` out of reach at `atNs`, and takes
    // more at the stream's rate: written again, they would not be heard again. (A server that
    // can rewind what its sink holds never says so.)
    virtual void taken(int output, std::int64_t frame, std::int64_t atNs)
    {
        (void)output, (void)frame, (void)atNs;
    }
};

// One way to the listener: a PulseAudio or PipeWire server, one of SDL's drivers, or the silent
// stand-in. From its own thread it has its filler (the beat engine) fill every frame it plays,
// telling when the first of them will be heard.
class OutputStream
{
public:
    virtual ~OutputStream() = default;
    // Opens the default device and starts it as the engine's output `id`. Never called on the
    // user-interface thread: a server may take its time to answer (a bounded one). On failure
    // returns false with the reason in `error`.
    virtual bool open(StreamFiller &filler, int id, std::string &error) = 0;
    // Stops for good; returns once the filler is no longer called.
    virtual void close() = 0;
    // Open, and not lost since (a server can go away while the program runs).
    virtual bool alive() const = 0;
    virtual const char *name() const = 0;
    // It can write again what it has written: clicks can be taken back until they are heard.
    virtual bool rewrites() const { return false; }
    // Writes again the frames the engine took clicks back from, where the stream can.
    virtual void takeBack() {}
    // The engine has work again: a stream that paused while there was none plays again.
    virtual void wake() {}
    // Times the server played silence in the stream's place.
    virtual int dropouts() const { return 0; }
    // The last open failed because a server took the connection and never answered: other
    // outputs that would reach the same server (ALSA's default, on a desktop) are not tried.
    virtual bool serverStuck() const { return false; }

    // When it last had frames filled (0: never), on the monotonic clock.
    std::int64_t lastFillNs() const { return lastFill_.load(std::memory_order_relaxed); }
    // The thread that calls the filler.
    AudioThread &thread() { return thread_; }

protected:
    void noteFill(std::int64_t ns) { lastFill_.store(ns, std::memory_order_relaxed); }

private:
    AudioThread thread_;
    std::atomic<std::int64_t> lastFill_{0};
};

} // namespace platform
