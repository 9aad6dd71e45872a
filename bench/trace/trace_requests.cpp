// Records how an output stream asks for audio and when it says each piece will be heard: opens
// the program's own stream on the desktop's sound server (PulseAudio or PipeWire), or SDL's
// driver when SDL_AUDIODRIVER names one, beats at --tempo (clicks written on their frames, so
// that a recording of the sink can be checked against the trace) for SECONDS, and prints one
// line per piece written, "FRAMES NS HEARD_AFTER_NS SETTLED": the time since the previous piece,
// how long after it was written its first frame is heard, and whether the stream's word on that
// was settled (1) or still a guess (0); "dropout" where the server said it ran dry. The traces
// under tests/sound/traces are made with this and replayed by tst_beat_engine.
//
// With --manager the streams are found, lost and found again by the program's output manager, as
// the program runs them (through a server killed and started again, or one started late). Each
// piece line then ends with its stream's number, and the manager's moves are lines of their own:
// "begin" when the tool starts, "opened ID NS REWRITES" when a stream has the beat,
// "lost ID NS" when the manager gives it up.
//
//   cadrel_trace_requests SECONDS [--tempo BPM] [--manager] > trace
#include "platform/sound/beat_engine.h"
#include "platform/sound/output_manager.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Piece {
    enum Kind { Fill, Dropout, Begin, Opened, Lost } kind = Fill;
    std::int64_t frames = 0; // rewrites, for Opened
    std::int64_t ns = 0;
    std::int64_t heardNs = 0;
    bool settled = false;
    int output = 1;
};

// Passes every piece on to the beat engine, and notes it without allocating (the lock is shared
// only with the output manager's rare moves).
class Tracer : public platform::StreamFiller
{
public:
    explicit Tracer(platform::BeatEngine &engine) : engine_(engine) { pieces_.resize(1 << 20); }

    void fill(int output, float *out, int frames, std::int64_t firstFrame,
              std::int64_t firstHeardNs, bool settled) override
    {
        note({Piece::Fill, frames, 0, firstHeardNs, settled, output});
        engine_.fill(output, out, frames, firstFrame, firstHeardNs, settled);
    }
    void ranDry(int output, std::int64_t at) override
    {
        note({Piece::Dropout, 0, 0, 0, false, output});
        engine_.ranDry(output, at);
    }
    int rewrite(int output, std::vector<float> &out) override
    {
        return engine_.rewrite(output, out);
    }
    bool idle(int output, std::int64_t nowNs) const override { return engine_.idle(output, nowNs); }

    // Notes `piece` at the time it is noted. Pieces come from the streams' threads (one closing
    // may still ask while the next opens), the manager's moves from its own.
    void note(Piece piece)
    {
        const std::lock_guard lock(mutex_);
        piece.ns = platform::monotonicNs(); // in order, as the lines are printed
        const std::size_t n = count_.load(std::memory_order_relaxed);
        if (n < pieces_.size())
            pieces_[n] = piece;
        count_.store(n + 1, std::memory_order_release);
    }

    void print(bool withOutputs) const
    {
        const std::size_t n = std::min(count_.load(), pieces_.size());
        std::int64_t previous = n > 0 ? pieces_[0].ns : 0;
        for (std::size_t i = 0; i < n; ++i) {
            const Piece &p = pieces_[i];
            const auto since = static_cast<long long>(p.ns - previous);
            if (p.kind == Piece::Dropout)
                std::printf(withOutputs ? "dropout %d\n" : "dropout\n", p.output);
            else if (p.kind == Piece::Begin)
                std::printf("begin\n");
            else if (p.kind == Piece::Opened)
                std::printf("opened %d %lld %d\n", p.output, since, int(p.frames));
            else if (p.kind == Piece::Lost)
                std::printf("lost %d %lld\n", p.output, since);
            else
                std::printf(withOutputs ? "%lld %lld %lld %d %d\n" : "%lld %lld %lld %d\n",
                            static_cast<long long>(p.frames), since,
                            static_cast<long long>(p.heardNs < 0 ? -1 : p.heardNs - p.ns),
                            p.settled ? 1 : 0, p.output);
            // A dropout line has no time of its own: the next line counts from the line before.
            if (p.kind != Piece::Dropout)
                previous = p.ns;
        }
    }

private:
    std::mutex mutex_;

    platform::BeatEngine &engine_;
    std::vector<Piece> pieces_;
    std::atomic<std::size_t> count_{0};
};

// One of the program's streams, as the output manager opens it, with every piece it asks for
// and every move the manager makes on it noted: it has the beat once opened, and is given up the
// first time it is found lost.
class TracedStream : public platform::OutputStream, public platform::StreamFiller
{
public:
    TracedStream(std::unique_ptr<platform::OutputStream> inner, Tracer &tracer)
        : inner_(std::move(inner)), tracer_(tracer)
    {}

    bool open(platform::StreamFiller &filler, int id, std::string &error) override
    {
        filler_ = &filler;
        id_ = id;
        if (!inner_->open(*this, id, error))
            return false;
        tracer_.note({Piece::Opened, inner_->rewrites() ? 1 : 0, 0, 0, false, id});
        return true;
    }
    // The manager closes a stream it gives up: lost, or one that never told when it is heard, or
    // paused too long.
    void close() override
    {
        if (!saidLost_.exchange(true))
            tracer_.note({Piece::Lost, 0, 0, 0, false, id_});
        inner_->close();
    }
    bool alive() const override
    {
        const bool alive = inner_->alive();
        if (!alive && !saidLost_.exchange(true))
            tracer_.note({Piece::Lost, 0, 0, 0, false, id_});
        return alive;
    }
    const char *name() const override { return inner_->name(); }
    bool rewrites() const override { return inner_->rewrites(); }
    void takeBack() override { inner_->takeBack(); }
    void wake() override { inner_->wake(); }
    int dropouts() const override { return inner_->dropouts(); }
    bool serverStuck() const override { return inner_->serverStuck(); }

    void fill(int output, float *out, int frames, std::int64_t firstFrame,
              std::int64_t firstHeardNs, bool settled) override
    {
        thread().noteCurrent();
        noteFill(platform::monotonicNs());
        tracer_.fill(output, out, frames, firstFrame, firstHeardNs, settled);
    }
    void ranDry(int output, std::int64_t at) override { tracer_.ranDry(output, at); }
    int rewrite(int output, std::vector<float> &out) override
    {
        return filler_->rewrite(output, out);
    }
    bool idle(int output, std::int64_t nowNs) const override
    {
        return filler_->idle(output, nowNs);
    }
    void taken(int output, std::int64_t frame, std::int64_t atNs) override
    {
        filler_->taken(output, frame, atNs);
    }

private:
    std::unique_ptr<platform::OutputStream> inner_;
    Tracer &tracer_;
    platform::StreamFiller *filler_ = nullptr;
    int id_ = 0;
    mutable std::atomic<bool> saidLost_{false};
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SECONDS [--tempo BPM] [--manager] > trace\n", argv[0]);
        return 2;
    }
    const double seconds = std::stod(argv[1]);
    double tempo = 240;
    bool managed = false;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--tempo" && i + 1 < argc)
            tempo = std::stod(argv[++i]);
        else if (std::string(argv[i]) == "--manager")
            managed = true;
    }

    const platform::SoundSettings settings;
    auto engine = std::make_shared<platform::BeatEngine>();
    auto click = std::make_shared<platform::PcmClip>();
    click->rate = settings.rate;
    click->channels = 2;
    click->samples.assign(2 * 240, 0.5f);
    engine->setClip(click);
    Tracer tracer(*engine);
    if (managed) {
        tracer.note({Piece::Begin, 0, 0, 0, false, 0});
        platform::OutputManager manager(engine, settings, [&] {
            std::vector<std::unique_ptr<platform::OutputStream>> traced;
            for (auto &stream : platform::defaultOutputs(settings))
                traced.push_back(std::make_unique<TracedStream>(std::move(stream), tracer));
            return traced;
        });
        engine->start(platform::monotonicNs(), 60000.0 / tempo);
        manager.wake();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        engine->stop(platform::monotonicNs());
        std::printf("# output manager rate %d\n", settings.rate);
        tracer.print(true);
        std::fflush(stdout);
        std::_Exit(0); // a stream whose server hangs is not waited for
    }
    auto stream = std::move(platform::defaultOutputs(settings).front());
    engine->use(1, stream->rewrites());
    std::string error;
    if (!stream->open(tracer, 1, error)) {
        std::fprintf(stderr, "no output: %s\n", error.c_str());
        return 1;
    }
    engine->start(platform::monotonicNs() + 1'000'000'000, 60000.0 / tempo);
    stream->wake();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    engine->stop(platform::monotonicNs());
    stream->close();
    std::printf("# output %s rate %d\n", stream->name(), settings.rate);
    tracer.print(false);
    return 0;
}
