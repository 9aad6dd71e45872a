#include "platform/sound/stand_in.h"

#include "platform/sound/beat_engine.h"

namespace platform {
namespace {

constexpr auto kTick = std::chrono::milliseconds(10);
constexpr auto kNap = std::chrono::milliseconds(200);

} // namespace

StandIn::StandIn(BeatEngine &engine, int rate, int channels, std::chrono::milliseconds lead)
    : engine_(engine), rate_(rate), channels_(channels), leadFrames_(lead.count() * rate / 1000)
{}

StandIn::~StandIn()
{
    close();
}

bool StandIn::open(StreamFiller &filler, int id, std::string &)
{
    close();
    filler_ = &filler;
    id_ = id;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void StandIn::close()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    woken_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void StandIn::wake()
{
    const std::lock_guard lock(mutex_);
    woken_.notify_all();
}

void StandIn::takeBack()
{
    const std::lock_guard lock(mutex_);
    if (filler_ != nullptr)
        filler_->rewrite(id_, buffer_);
}

// Frames are numbered on from spell to spell of writing; within one, frame f is heard at
// t0 + (f - base) / rate, t0 being when the spell began and base the frames written before it.
// It writes up to the frame heard one lead from now. A spell ends when there is nothing to
// write: nothing sounds, so nothing is lost, and the times stay small however long it runs.
void StandIn::run()
{
    thread().noteCurrent();
    constexpr std::int64_t kNs = 1'000'000'000;
    std::int64_t t0 = 0, base = 0, written = 0;
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const std::int64_t now = monotonicNs();
        const bool busy = engine_.wanted(id_) && !filler_->idle(id_, now);
        if (!busy) {
            t0 = 0;
            woken_.wait_for(lock, kNap);
            continue;
        }
        if (t0 == 0) {
            t0 = now;
            base = written;
        }
        const std::int64_t since = now - t0;
        const std::int64_t due =
            base + since / kNs * rate_ + since % kNs * rate_ / kNs + leadFrames_;
        if (due > written) {
            const auto frames = int(due - written);
            buffer_.resize(std::size_t(frames) * std::size_t(channels_));
            noteFill(now);
            const std::int64_t played = written - base;
            const std::int64_t heard = t0 + played / rate_ * kNs + played % rate_ * kNs / rate_;
            filler_->fill(id_, buffer_.data(), frames, written, heard, true);
            written = due;
        }
        woken_.wait_for(lock, kTick);
    }
}

} // namespace platform
