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
    woken_.notify_all();
}

// Frame f is heard at t0 + f / rate, t0 being when the stand-in took over; it writes up to the
// frame heard one lead from now. After a sleep it goes on from the frame due, not from where it
// stopped: nothing sounds, so nothing is lost.
void StandIn::run()
{
    thread().noteCurrent();
    std::int64_t t0 = 0, written = 0;
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const std::int64_t now = monotonicNs();
        const bool busy = engine_.wanted(id_) && (engine_.inUse() != id_ || !filler_->idle(now));
        if (!busy) {
            woken_.wait_for(lock, kNap);
            continue;
        }
        if (t0 == 0)
            t0 = now;
        const std::int64_t due = (now - t0) * rate_ / 1'000'000'000 + leadFrames_;
        if (due - written > 4 * leadFrames_)
            written = due - leadFrames_; // woken after a sleep
        if (due > written) {
            const auto frames = int(due - written);
            buffer_.resize(std::size_t(frames) * std::size_t(channels_));
            noteFill(now);
            const std::int64_t heard = t0 + written * 1'000'000'000 / rate_;
            filler_->fill(id_, buffer_.data(), frames, written, heard);
            written = due;
        }
        woken_.wait_for(lock, kTick);
    }
}

} // namespace platform
