#include "platform/sound/pulse_stream.h"

#include <cstring>
#include <pulse/pulseaudio.h>

namespace platform {
namespace {

// A server that accepts the connection but never answers must not hang the window.
constexpr pa_usec_t kAnswerWithin = 3 * PA_USEC_PER_SEC;
constexpr std::size_t kFrameBytes = 2 * sizeof(float);

std::uint32_t bytes(SoundBudget::Ms length, int rate)
{
    return std::uint32_t(length.count() / 1000.0 * rate) * std::uint32_t(kFrameBytes);
}

} // namespace

PulseStream::PulseStream(const SoundBudget &budget) : budget_(budget) {}

PulseStream::~PulseStream()
{
    close();
}

std::chrono::nanoseconds PulseStream::lead() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(budget_.serverLead());
}

bool PulseStream::open(StreamFeed &feed, std::string &error)
{
    close();
    feed_ = &feed;
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr || pa_threaded_mainloop_start(loop_) < 0) {
        error = "cannot start the PulseAudio client";
        close();
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    const bool ok = connect(error) && waitUntilReady(error);
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
        error = "cannot create a PulseAudio context";
        return false;
    }
    pa_context_set_state_callback(context_, &PulseStream::contextChanged, this);
    pa_context_rttime_new(
        context_, pa_rtclock_now() + kAnswerWithin,
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
            error = timedOut_ ? "the sound server does not answer"
                              : pa_strerror(pa_context_errno(context_));
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, std::uint32_t(budget_.rate), 2};
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
    attr.tlength = bytes(budget_.serverTarget, budget_.rate);
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = bytes(budget_.serverRequest, budget_.rate);
    attr.fragsize = std::uint32_t(-1);
    // The target is the whole latency, the sink's included, not only what waits in the queue.
    if (pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0) {
        error = pa_strerror(pa_context_errno(context_));
        return false;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY)
            return true;
        if (!PA_STREAM_IS_GOOD(state) || timedOut_) {
            error = timedOut_ ? "the sound server does not answer"
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

void PulseStream::write(pa_stream *stream, std::size_t bytes, void *self)
{
    auto *me = static_cast<PulseStream *>(self);
    me->thread().noteCurrent();
    me->feed_->asked(int(bytes / kFrameBytes), monotonicNs());
    while (bytes >= kFrameBytes) {
        void *data = nullptr;
        std::size_t size = bytes - bytes % kFrameBytes;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || data == nullptr)
            return;
        size -= size % kFrameBytes;
        me->feed_->render(static_cast<float *>(data), int(size / kFrameBytes));
        if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        bytes -= size;
    }
}

void PulseStream::underflow(pa_stream *stream, void *self)
{
    // The server says where it ran dry; requests it sent before saying so may have been
    // answered already.
    const std::int64_t at = pa_stream_get_underflow_index(stream);
    static_cast<PulseStream *>(self)->feed_->dropout(at < 0 ? -1 : at / std::int64_t(kFrameBytes));
}

} // namespace platform
