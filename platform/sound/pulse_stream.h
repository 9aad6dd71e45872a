#pragma once

#include "platform/sound/output_stream.h"
#include "platform/sound/play_position.h"
#include "platform/sound/sound_settings.h"

#include <atomic>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

namespace platform {

// An output on a PulseAudio server, or on PipeWire through its PulseAudio server, as desktops
// run them. It writes what the server asks for, when it asks, a target latency ahead; the
// server's timing information says when each frame written will be heard. While the engine has
// nothing but silence to write, the stream is corked, so the device may suspend; clicks taken
// back are written over in the server's queue.
class PulseStream : public OutputStream
{
public:
    explicit PulseStream(const SoundSettings &settings);
    ~PulseStream() override;

    bool open(StreamFiller &filler, int id, std::string &error) override;
    void close() override;
    bool alive() const override { return alive_.load(std::memory_order_acquire); }
    const char *name() const override { return "PulseAudio"; }
    bool rewrites() const override { return true; }
    void takeBack() override;
    void wake() override;
    int dropouts() const override { return dropouts_.load(std::memory_order_relaxed); }
    bool serverStuck() const override { return stuck_; }

    // One frame as written: two channels of 32-bit float.
    static constexpr std::size_t kFrameBytes = 2 * sizeof(float);

private:
    static void contextChanged(pa_context *context, void *self);
    static void streamChanged(pa_stream *stream, void *self);
    static void write(pa_stream *stream, std::size_t bytes, void *self);
    static void underflow(pa_stream *stream, void *self);
    static void timingUpdated(pa_stream *stream, int success, void *self);
    static void timingBetween(pa_stream *stream, int success, void *self);
    void askTiming(void (*answered)(pa_stream *, int, void *));
    void askBetween();
    bool connect(std::string &error);
    bool waitUntilReady(std::string &error);
    bool onPipeWire();
    std::int64_t firstHeardNs(std::int64_t nowNs);

    SoundSettings settings_;
    StreamFiller *filler_ = nullptr;
    int id_ = -1;
    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    bool timedOut_ = false;    // the server did not answer in time (loop thread, under its lock)
    bool corked_ = false;      // under the loop's lock
    bool stuck_ = false;       // the last open timed out
    std::int64_t written_ = 0; // frames written, the server's write index (loop's lock)
    bool pipeWire_ = false;    // the server is PipeWire's PulseAudio service
    // Its cycle, from what it asks for and its read index (loop's lock); an answer is asked for
    // half-way between requests too, by `between_`.
    ServerCycle cycle_;
    pa_time_event *between_ = nullptr;
    // Where the device is, from the timing information (loop's lock), and whether an answer
    // is awaited.
    PlayPosition position_{settings_.rate, settings_.rate * 0.02};
    bool updating_ = false;
    std::vector<float> rewritten_;
    std::atomic<bool> alive_{false};
    std::atomic<int> dropouts_{0};
};

} // namespace platform
