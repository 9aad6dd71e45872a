#pragma once

#include "platform/sound/audio_thread.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

class BeatEngine;

// The monotonic clock's now, in nanoseconds: the clock every output tells its timing on.
inline std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One way to the listener: a PulseAudio or PipeWire server, one of SDL's drivers, or the silent
// stand-in. From its own thread it has the beat engine fill every frame it plays, telling when
// the first of them will be heard.
class OutputStream
{
public:
    virtual ~OutputStream() = default;
    // Opens the default device and starts it as the engine's output `id`. Never called on the
    // user-interface thread: a server may take its time to answer (a bounded one). On failure
    // returns false with the reason in `error`.
    virtual bool open(BeatEngine &engine, int id, std::string &error) = 0;
    // Stops for good; returns once the engine is no longer called.
    virtual void close() = 0;
    // Open, and not lost since (a server can go away while the program runs).
    virtual bool alive() const = 0;
    virtual const char *name() const = 0;
    // Writes again the frames the engine took clicks back from, where the stream can.
    virtual void takeBack() {}
    // The engine has work again: a stream that paused while there was none plays again.
    virtual void wake() {}
    // Times the server played silence in the stream's place.
    virtual int dropouts() const { return 0; }

    // When the engine last filled for it (0: never), on the monotonic clock.
    std::int64_t lastFillNs() const { return lastFill_.load(std::memory_order_relaxed); }
    // The thread that calls the engine.
    AudioThread &thread() { return thread_; }

protected:
    void noteFill(std::int64_t ns) { lastFill_.store(ns, std::memory_order_relaxed); }

private:
    AudioThread thread_;
    std::atomic<std::int64_t> lastFill_{0};
};

} // namespace platform
