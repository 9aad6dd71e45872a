// The playing stream: what it is asked for, when the server says it is heard, and what it
// writes again.
#include "platform/sound/pulse_stream.h"

#include <algorithm>
#include <pulse/pulseaudio.h>

namespace platform {

// When the next frame written will be heard: the timing information says which frame the
// listener heard when the server answered (see frameHeardWhenTold), and the
// device plays on at its rate since (see PlayPosition); -1 until the server has told. A fresh
// answer is asked for at every request.
std::int64_t PulseStream::firstHeardNs(std::int64_t nowNs)
{
    askTiming(&PulseStream::timingUpdated);
    const auto heard = position_.heardAt(nowNs);
    if (!heard)
        return -1;
    const double heardNow = std::min(*heard, double(written_));
    return nowNs + std::int64_t((double(written_) - heardNow) * 1e9 / settings_.rate);
}

// Asks the server where it is, unless an answer is awaited; `answered` takes the answer.
void PulseStream::askTiming(void (*answered)(pa_stream *, int, void *))
{
    if (updating_ || stream_ == nullptr)
        return;
    pa_operation *op = pa_stream_update_timing_info(stream_, answered, this);
    if (op != nullptr) {
        updating_ = true;
        pa_operation_unref(op);
    }
}

void PulseStream::timingUpdated(pa_stream *stream, int success, void *self)
{
    auto *me = static_cast<PulseStream *>(self);
    me->updating_ = false;
    const pa_timing_info *info = success ? pa_stream_get_timing_info(stream) : nullptr;
    if (info == nullptr || info->read_index_corrupt)
        return;
    // The answer left the server half its way back ago.
    const std::int64_t at = monotonicNs() - std::int64_t(info->transport_usec) * 500;
    const std::int64_t read = info->read_index / std::int64_t(kFrameBytes);
    me->cycle_.read(read);
    me->position_.told(
        frameHeardWhenTold(read, std::int64_t(info->sink_usec) * me->settings_.rate / 1'000'000,
                           me->pipeWire_ ? 2 * me->cycle_.frames() : 0),
        at, info->playing != 0);
    // PipeWire's service cannot take back what it has taken from the stream, and takes what it
    // asks for any moment.
    if (me->pipeWire_ && info->playing != 0)
        me->filler_->taken(me->id_, read + me->cycle_.lastAsked(), at);
}

// An answer between requests only tells the cycle: the position rests on answers at the same
// point of the cycle (right after the server has taken it), as a cycle's answers stand still.
void PulseStream::timingBetween(pa_stream *stream, int success, void *self)
{
    auto *me = static_cast<PulseStream *>(self);
    me->updating_ = false;
    const pa_timing_info *info = success ? pa_stream_get_timing_info(stream) : nullptr;
    if (info != nullptr && !info->read_index_corrupt)
        me->cycle_.read(info->read_index / std::int64_t(kFrameBytes));
}

void PulseStream::askBetween()
{
    const auto half = pa_usec_t(cycle_.lastAsked()) * 500'000 / pa_usec_t(settings_.rate);
    const auto callback = [](pa_mainloop_api *, pa_time_event *, const struct timeval *,
                             void *self) {
        static_cast<PulseStream *>(self)->askTiming(&PulseStream::timingBetween);
    };
    if (between_ == nullptr)
        between_ = pa_context_rttime_new(context_, pa_rtclock_now() + half, callback, this);
    else
        pa_context_rttime_restart(context_, between_, pa_rtclock_now() + half);
}

void PulseStream::write(pa_stream *stream, std::size_t bytes, void *self)
{
    auto *me = static_cast<PulseStream *>(self);
    me->thread().noteCurrent();
    const std::int64_t now = monotonicNs();
    me->noteFill(now);
    me->cycle_.asked(std::int64_t(bytes / kFrameBytes));
    const std::int64_t heard = me->firstHeardNs(now);
    if (me->pipeWire_)
        me->askBetween();
    const bool settled = me->position_.settled();
    const std::int64_t first = me->written_;
    while (bytes >= kFrameBytes) {
        void *data = nullptr;
        std::size_t size = bytes - bytes % kFrameBytes;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || data == nullptr)
            return;
        size -= size % kFrameBytes;
        const auto frames = int(size / kFrameBytes);
        const std::int64_t after = (me->written_ - first) * 1'000'000'000 / me->settings_.rate;
        me->filler_->fill(me->id_, static_cast<float *>(data), frames, me->written_,
                          heard < 0 ? -1 : heard + after, settled);
        if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        me->written_ += frames;
        bytes -= size;
    }
    // Nothing but silence to come: the device may rest until the beat starts again.
    if (!me->corked_ && me->filler_->idle(me->id_, now)) {
        me->corked_ = true;
        me->position_.forget(); // the device stands still until it is woken
        pa_operation *op = pa_stream_cork(stream, 1, nullptr, nullptr);
        if (op != nullptr)
            pa_operation_unref(op);
    }
}

void PulseStream::wake()
{
    if (loop_ == nullptr)
        return;
    pa_threaded_mainloop_lock(loop_);
    if (corked_ && stream_ != nullptr) {
        corked_ = false;
        pa_operation *op = pa_stream_cork(stream_, 0, nullptr, nullptr);
        if (op != nullptr)
            pa_operation_unref(op);
    }
    pa_threaded_mainloop_unlock(loop_);
}

// The frames from the first click taken back to the end of the queue are written again over
// what the server holds, and the write index ends where it was.
void PulseStream::takeBack()
{
    if (loop_ == nullptr)
        return;
    pa_threaded_mainloop_lock(loop_);
    const int frames = stream_ != nullptr ? filler_->rewrite(id_, rewritten_) : 0;
    if (frames > 0) {
        const auto size = std::size_t(frames) * kFrameBytes;
        pa_stream_write(stream_, rewritten_.data(), size, nullptr, -std::int64_t(size),
                        PA_SEEK_RELATIVE);
    }
    pa_threaded_mainloop_unlock(loop_);
}

void PulseStream::underflow(pa_stream *stream, void *self)
{
    // The server says where it ran dry; requests it sent before saying so may have been
    // answered already.
    auto *me = static_cast<PulseStream *>(self);
    const std::int64_t at = pa_stream_get_underflow_index(stream);
    me->dropouts_.fetch_add(1, std::memory_order_relaxed);
    me->filler_->ranDry(me->id_, at < 0 ? -1 : at / std::int64_t(kFrameBytes));
}

} // namespace platform
