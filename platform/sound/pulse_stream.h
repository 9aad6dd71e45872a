#pragma once

#include "platform/sound/output_stream.h"
#include "platform/sound/sound_budget.h"

#include <atomic>
#include <chrono>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace platform {

// An output on a PulseAudio server, or on PipeWire through its PulseAudio server, as desktops
// run them. The stream writes exactly what the server asks for, when it asks: so its requests
// come as evenly as the server's own cycles, and they are the clock the clicks are placed by.
// The server is asked for the budget's target latency and request size, and it says when it
// ran dry.
class PulseStream : public OutputStream
{
public:
    explicit PulseStream(const SoundBudget &budget);
    ~PulseStream() override;

    bool open(StreamFeed &feed, std::string &error) override;
    void close() override;
    bool alive() const override { return alive_.load(std::memory_order_acquire); }
    int rate() const override { return budget_.rate; }
    int channels() const override { return 2; }
    std::chrono::nanoseconds lead() const override;
    const char *name() const override { return "PulseAudio"; }
    // Both PulseAudio and pipewire-pulse send an underflow for every silence they play.
    bool announcesSilence() const override { return true; }

private:
    static void contextChanged(pa_context *context, void *self);
    static void streamChanged(pa_stream *stream, void *self);
    static void write(pa_stream *stream, std::size_t bytes, void *self);
    static void underflow(pa_stream *stream, void *self);
    bool connect(std::string &error);
    bool waitUntilReady(std::string &error);

    SoundBudget budget_;
    StreamFeed *feed_ = nullptr;
    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    bool timedOut_ = false; // the server did not answer in time (loop thread, under its lock)
    std::atomic<bool> alive_{false};
};

} // namespace platform
