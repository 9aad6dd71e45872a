// Records when an output stream asks for audio: opens the default output as the program does
// (a PulseAudio or PipeWire stream, or SDL's driver when SDL_AUDIODRIVER names one), writes
// silence for SECONDS and prints one line per request, "FRAMES NS" with the time since the
// previous request, and "dropout" where the server said it ran dry. With --stall-at S --stall-ms
// M the stream's thread sleeps M ms at S seconds, as on a machine stalled by its host, so that
// the server runs dry. With --realtime the thread runs with real-time scheduling where allowed.
// With --clicks the stream carries a click every 12000 frames, counted in frames from 1.5 s on,
// so that a recording of the sink shows where the server broke the sound: every interval is
// 12000 frames unless the server played silence in between.
//
//   cadrel_trace_requests SECONDS [--stall-at S --stall-ms M] [--realtime] [--clicks] > trace
// The traces under tests/sound/traces are made with this, and replayed by the placement tests.
#include "platform/sound/pulse_stream.h"
#include "platform/sound/sdl_stream.h"
#include "platform/sound/sound_budget.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Event {
    std::int64_t frames; // 0: a dropout
    std::int64_t ns;
};

class Recorder : public platform::StreamFeed
{
public:
    explicit Recorder(std::size_t capacity) { events_.resize(capacity); }
    void stallAt(std::int64_t ns, int ms) { stallNs_ = ns, stallMs_ = ms; }

    void asked(int frames, std::int64_t nowNs) override
    {
        note({frames, nowNs});
        if (stallMs_ > 0 && nowNs >= stallNs_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(stallMs_));
            stallMs_ = 0;
        }
    }
    void clickFrom(std::int64_t frame) { firstClick_ = frame; }
    void render(float *out, int frames) override
    {
        std::fill(out, out + 2 * frames, 0.0f);
        for (int i = 0; i < frames && firstClick_ >= 0; ++i) {
            const std::int64_t k = written_ + i - firstClick_;
            if (k >= 0 && k % kClickEvery < kClickFrames)
                out[2 * i] = out[2 * i + 1] = 0.5f;
        }
        written_ += frames;
    }
    void dropout(std::int64_t) override { note({0, platform::monotonicNs()}); }

    std::vector<Event> events() const
    {
        return {events_.begin(), events_.begin() + std::ptrdiff_t(count_.load())};
    }

private:
    void note(Event e)
    {
        const std::size_t i = count_.load(std::memory_order_relaxed);
        if (i < events_.size()) {
            events_[i] = e;
            count_.store(i + 1, std::memory_order_release);
        }
    }

    std::vector<Event> events_;
    std::atomic<std::size_t> count_{0};
    std::int64_t stallNs_ = 0;
    int stallMs_ = 0;
    static constexpr std::int64_t kClickEvery = 12000;
    static constexpr std::int64_t kClickFrames = 24;
    std::int64_t firstClick_ = -1;
    std::int64_t written_ = 0; // stream thread only
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s SECONDS [--stall-at S --stall-ms M] [--realtime] [--clicks]\n",
                     argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    double stallAt = 0;
    int stallMs = 0;
    bool realtime = false, clicks = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--stall-at" && i + 1 < argc)
            stallAt = std::atof(argv[++i]);
        else if (arg == "--stall-ms" && i + 1 < argc)
            stallMs = std::atoi(argv[++i]);
        else if (arg == "--realtime")
            realtime = true;
        else if (arg == "--clicks")
            clicks = true;
    }
    const platform::SoundBudget budget;
    std::unique_ptr<platform::OutputStream> stream;
    const char *chosen = std::getenv("SDL_AUDIODRIVER");
    if (chosen == nullptr || *chosen == '\0')
        stream = std::make_unique<platform::PulseStream>(budget);
    else
        stream = std::make_unique<platform::SdlStream>(budget.rate, budget.bufferFrames);
    Recorder recorder(std::size_t(seconds) * 1000 + 1000);
    if (clicks) // a frame counted from the start, well after the stream has settled
        recorder.clickFrom(std::int64_t(1.5 * budget.rate));
    recorder.stallAt(platform::monotonicNs() + std::int64_t(stallAt * 1e9), stallMs);
    std::string error;
    if (!stream->open(recorder, error)) {
        std::fprintf(stderr, "no audio output: %s\n", error.c_str());
        return 1;
    }
    if (realtime) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::fprintf(stderr, "real-time: %s\n", stream->thread().raise() ? "yes" : "refused");
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stream->close();
    std::printf("# output %s rate %d\n", stream->name(), stream->rate());
    std::int64_t last = 0;
    for (const Event &e : recorder.events()) {
        if (e.frames == 0) {
            std::printf("dropout\n");
            continue;
        }
        std::printf("%lld %lld\n", static_cast<long long>(e.frames),
                    static_cast<long long>(last == 0 ? 0 : e.ns - last));
        last = e.ns;
    }
    return 0;
}
