#include "platform/sound/pulse_stream.h"

#include <cstring>
#include <pulse/pulseaudio.h>

namespace platform {
namespace {

std::uint32_t bytes(SoundSettings::Ms length, int rate)
{
    return std::uint32_t(length.count() * rate / 1000) * std::uint32_t(PulseStream::kFrameBytes);
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
    pipeWire_ = onPipeWire();
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
    attr.tlength =
        bytes(pipeWire_ ? settings_.pipeWireTarget : settings_.serverTarget, settings_.rate);
    attr.prebuf = std::uint32_t(-1);
    attr.minreq =
        bytes(pipeWire_ ? settings_.pipeWireRequest : settings_.serverRequest, settings_.rate);
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

// Whether the server is PipeWire's PulseAudio service (it names itself so); false if it does
// not say in time.
bool PulseStream::onPipeWire()
{
    struct Asked {
        pa_threaded_mainloop *loop;
        bool pipeWire = false;
    } asked{loop_};
    pa_operation *op = pa_context_get_server_info(
        context_,
        [](pa_context *, const pa_server_info *info, void *self) {
            auto *a = static_cast<Asked *>(self);
            a->pipeWire = info != nullptr && info->server_name != nullptr &&
                          std::strstr(info->server_name, "PipeWire") != nullptr;
            pa_threaded_mainloop_signal(a->loop, 0);
        },
        &asked);
    if (op == nullptr)
        return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && !timedOut_)
        pa_threaded_mainloop_wait(loop_);
    if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_operation_cancel(op); // `asked` is gone when the answer comes
    pa_operation_unref(op);
    return asked.pipeWire;
}

void PulseStream::close()
{
    if (loop_ != nullptr) {
        pa_threaded_mainloop_lock(loop_);
        alive_.store(false, std::memory_order_release);
        if (between_ != nullptr) {
            pa_threaded_mainloop_get_api(loop_)->time_free(between_);
            between_ = nullptr;
        }
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
    cycle_ = ServerCycle{};
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

} // namespace platform
