// Records how an output stream asks for audio and when it says each piece will be heard: opens
// the program's own stream on the desktop's sound server (PulseAudio or PipeWire), or SDL's
// driver when SDL_AUDIODRIVER names one, beats at --tempo (clicks written on their frames, so
// that a recording of the sink can be checked against the trace) for SECONDS, and prints one
// line per piece written, "FRAMES NS HEARD_AFTER_NS SETTLED": the time since the previous piece,
// how long after it was written its first frame is heard, and whether the stream's word on that
// was settled (1) or still a guess (0); "dropout" where the server said it ran dry. The traces
// under tests/sound/traces are made with this and replayed by tst_beat_engine.
//
//   cadrel_trace_requests SECONDS [--tempo BPM] > trace
#include "platform/sound/beat_engine.h"
#include "platform/sound/pulse_stream.h"
#include "platform/sound/sdl_stream.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Piece {
    std::int64_t frames = 0; // 0: a dropout
    std::int64_t ns = 0;
    std::int64_t heardNs = 0;
    bool settled = false;
};

// Passes every piece on to the beat engine, and notes it without waiting or allocating.
class Tracer : public platform::StreamFiller
{
public:
    explicit Tracer(platform::BeatEngine &engine) : engine_(engine) { pieces_.resize(1 << 20); }

    void fill(int output, float *out, int frames, std::int64_t firstFrame,
              std::int64_t firstHeardNs, bool settled) override
    {
        note({frames, platform::monotonicNs(), firstHeardNs, settled});
        engine_.fill(output, out, frames, firstFrame, firstHeardNs, settled);
    }
    void ranDry(int output, std::int64_t at) override
    {
        note({0, platform::monotonicNs(), 0, false});
        engine_.ranDry(output, at);
    }
    int rewrite(int output, std::vector<float> &out) override
    {
        return engine_.rewrite(output, out);
    }
    bool idle(int output, std::int64_t nowNs) const override { return engine_.idle(output, nowNs); }

    void print() const
    {
        const std::size_t n = std::min(count_.load(), pieces_.size());
        std::int64_t previous = n > 0 ? pieces_[0].ns : 0;
        for (std::size_t i = 0; i < n; ++i) {
            const Piece &p = pieces_[i];
            if (p.frames == 0)
                std::printf("dropout\n");
            else
                std::printf("%lld %lld %lld %d\n", static_cast<long long>(p.frames),
                            static_cast<long long>(p.ns - previous),
                            static_cast<long long>(p.heardNs < 0 ? -1 : p.heardNs - p.ns),
                            p.settled ? 1 : 0);
            previous = p.ns;
        }
    }

private:
    void note(const Piece &piece)
    {
        const std::size_t n = count_.load(std::memory_order_relaxed);
        if (n < pieces_.size())
            pieces_[n] = piece;
        count_.store(n + 1, std::memory_order_release);
    }

    platform::BeatEngine &engine_;
    std::vector<Piece> pieces_;
    std::atomic<std::size_t> count_{0};
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SECONDS [--tempo BPM] > trace\n", argv[0]);
        return 2;
    }
    const double seconds = std::stod(argv[1]);
    double tempo = 240;
    for (int i = 2; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--tempo")
            tempo = std::stod(argv[i + 1]);

    const platform::SoundSettings settings;
    platform::BeatEngine engine;
    auto click = std::make_shared<platform::PcmClip>();
    click->rate = settings.rate;
    click->channels = 2;
    click->samples.assign(2 * 240, 0.5f);
    engine.setClip(click);
    Tracer tracer(engine);
    const char *chosen = std::getenv("SDL_AUDIODRIVER");
    std::unique_ptr<platform::OutputStream> stream;
    if (chosen == nullptr || *chosen == '\0')
        stream = std::make_unique<platform::PulseStream>(settings);
    else
        stream = std::make_unique<platform::SdlStream>(settings.rate, settings.sdlBufferFrames);
    engine.use(1, stream->rewrites());
    std::string error;
    if (!stream->open(tracer, 1, error)) {
        std::fprintf(stderr, "no output: %s\n", error.c_str());
        return 1;
    }
    engine.start(platform::monotonicNs() + 1'000'000'000, 60000.0 / tempo);
    stream->wake();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    engine.stop(platform::monotonicNs());
    stream->close();
    std::printf("# output %s rate %d\n", stream->name(), settings.rate);
    tracer.print();
    return 0;
}
