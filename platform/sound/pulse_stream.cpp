#include "platform/sound/pulse_stream.h"

#include <cstring>
#include <pulse/pulseaudio.h>

namespace platform {
namespace {

constexpr std::size_t kFrameBytes = 2 * sizeof(float);

std::uint32_t bytes(SoundSettings::Ms length, int rate)
{
    return std::uint32_t(length.count() * rate / 1000) * std::uint32_t(kFrameBytes);
}

} // namespace

PulseStream::PulseStream(const SoundSettings &settings) : settings_(settings) {}

PulseStream::~PulseStream()
{
    close();
}

bool PulseStream::open(StreamFiller &filler, int id, std::string &error)
{
    close();
    filler_ = &filler;
    id_ = id;
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr || pa_threaded_mainloop_start(loop_) < 0) {
        error = "impossibile avviare il client PulseAudio";
        close();
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    const bool ok = connect(error) && waitUntilReady(error);
    stuck_ = !ok && timedOut_;
    pa_threaded_mainloop_unlock(loop_);
    if (!ok) {
        close();
        return false;
    }
    alive_.store(true, std::memory_order_release);
    return true;
}

bool PulseStream::connect(std::string &error)
{
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Cadrel");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "io.github.cadrel.cadrel");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "cadrel");
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Cadrel", props);
    pa_proplist_free(props);
    if (context_ == nullptr) {
        error = "impossibile creare un contesto PulseAudio";
        return false;
    }
    pa_context_set_state_callback(context_, &PulseStream::contextChanged, this);
    pa_context_rttime_new(
        context_, pa_rtclock_now() + pa_usec_t(settings_.answerWithin.count()) * PA_USEC_PER_MSEC,
        [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self) {
            auto *me = static_cast<PulseStream *>(self);
            me->timedOut_ = true;
            pa_threaded_mainloop_signal(me->loop_, 0);
        },
        this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error = pa_strerror(pa_context_errno(context_));
        return false;
    }
    return true;
}

bool PulseStream::waitUntilReady(std::string &error)
{
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state) || timedOut_) {
            error = timedOut_ ? "il server audio non risponde"
                              : pa_strerror(pa_context_errno(context_));
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, std::uint32_t(settings_.rate), 2};
    stream_ = pa_stream_new(context_, "Click", &spec, nullptr);
    if (stream_ == nullptr) {
        error = pa_strerror(pa_context_errno(context_));
        return false;
    }
    pa_stream_set_state_callback(stream_, &PulseStream::streamChanged, this);
    pa_stream_set_write_callback(stream_, &PulseStream::write, this);
    pa_stream_set_underflow_callback(stream_, &PulseStream::underflow, this);
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = bytes(settings_.serverTarget, settings_.rate);
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = bytes(settings_.serverRequest, settings_.rate);
    attr.fragsize = std::uint32_t(-1);
    // The target is the whole latency, the sink's included, not only what waits in the queue.
    // The timing information is asked for at every request (see firstHeardNs()): libpulse's
    // own updates come seconds apart on pipewire-pulse, and its interpolation between them was
    // measured drifting by 10 ms a second there.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        error = pa_strerror(pa_context_errno(context_));
        return false;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY)
            return true;
        if (!PA_STREAM_IS_GOOD(state) || timedOut_) {
            error = timedOut_ ? "il server audio non risponde"
                              : pa_strerror(pa_context_errno(context_));
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
}

void PulseStream::close()
{
    if (loop_ != nullptr) {
        pa_threaded_mainloop_lock(loop_);
        alive_.store(false, std::memory_order_release);
        if (stream_ != nullptr) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_); // returns once the loop's thread has ended
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        thread().forget();
    }
    timedOut_ = false;
    corked_ = false;
    written_ = 0;
    updating_ = false;
    position_.forget();
}

void PulseStream::contextChanged(pa_context *context, void *self)
{
    auto *me = static_cast<PulseStream *>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        me->alive_.store(false, std::memory_order_release);
    pa_threaded_mainloop_signal(me->loop_, 0);
}

void PulseStream::streamChanged(pa_stream *stream, void *self)
{
    auto *me = static_cast<PulseStream *>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        me->alive_.store(false, std::memory_order_release);
    pa_threaded_mainloop_signal(me->loop_, 0);
}

// When the next frame written will be heard: the timing information says which frame the
// listener heard when the server answered (its read index less what the sink holds), and the
// device plays on at its rate since (see PlayPosition); -1 until the server has told. A fresh
// answer is asked for at every request.
std::int64_t PulseStream::firstHeardNs(std::int64_t nowNs)
{
    if (!updating_) {
        pa_operation *op = pa_stream_update_timing_info(stream_, &PulseStream::timingUpdated, this);
        if (op != nullptr) {
            updating_ = true;
            pa_operation_unref(op);
        }
    }
    const auto heard = position_.heardAt(nowNs);
    if (!heard)
        return -1;
    const double heardNow = std::min(*heard, double(written_));
    return nowNs + std::int64_t((double(written_) - heardNow) * 1e9 / settings_.rate);
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
    me->position_.told(info->read_index / std::int64_t(kFrameBytes) -
                           std::int64_t(info->sink_usec) * me->settings_.rate / 1'000'000,
                       at, info->playing != 0);
}

void PulseStream::write(pa_stream *stream, std::size_t bytes, void *self)
{
    auto *me = static_cast<PulseStream *>(self);
    me->thread().noteCurrent();
    const std::int64_t now = monotonicNs();
    me->noteFill(now);
    const std::int64_t heard = me->firstHeardNs(now);
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
