// Records a source (a sink's monitor) and prints, on CLOCK_MONOTONIC, when its samples were
// captured and where clicks start in it:
//   audio FRAME NS NOW  a chunk's first frame, its capture time by the stream's latency, and
//                       when it was read
//   click FRAME PEAK a click's first frame: |sample| above the threshold after a long quiet
// The report maps click frames to times with the audio lines around them (the latency of one
// chunk jitters; many chunks together do not).
//
//   cadrel_picture_listen SOURCE [SECONDS]
// Reads until SECONDS have passed (default: until SIGINT/SIGTERM). PULSE_SERVER picks the server.
#include "../monotonic_clock.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pulse/pulseaudio.h>

namespace {

constexpr unsigned kRate = 48000;
constexpr float kLoud = 0.05f;            // a click's first sample is well above this
constexpr float kQuiet = 0.01f;           // and the time before it is below this
constexpr long kQuietFrames = kRate / 20; // for at least 50 ms

volatile std::sig_atomic_t stopRequested = 0;

struct Listener {
    pa_mainloop *loop = nullptr;
    pa_stream *stream = nullptr;
    const char *source = nullptr;
    long long frame = 0;       // frames read so far
    long quiet = kQuietFrames; // frames below kQuiet just before the current one
    bool failed = false;
};

void onRead(pa_stream *stream, size_t, void *userdata)
{
    auto &l = *static_cast<Listener *>(userdata);
    const void *data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            return;
        const long long now = monotonicNs();
        pa_usec_t latency = 0;
        int negative = 0;
        // The first frame of this chunk was captured `latency` ago (or will be heard in
        // `latency`, for a monitor that runs ahead of its sink).
        if (data && pa_stream_get_latency(stream, &latency, &negative) == 0) {
            const long long ns = (long long)latency * 1000 * (negative ? -1 : 1);
            std::printf("audio %lld %lld %lld\n", l.frame, now - ns, now);
        }
        const size_t frames = bytes / sizeof(float);
        const auto *samples = static_cast<const float *>(data);
        for (size_t i = 0; i < frames; ++i) {
            const float v = samples ? std::fabs(samples[i]) : 0.0f;
            if (v > kLoud && l.quiet >= kQuietFrames)
                std::printf("click %lld %.3f\n", l.frame + (long long)i, v);
            l.quiet = v < kQuiet ? l.quiet + 1 : 0;
        }
        l.frame += (long long)frames;
        pa_stream_drop(stream);
    }
}

void onState(pa_stream *stream, void *userdata)
{
    auto &l = *static_cast<Listener *>(userdata);
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED) {
        std::fprintf(stderr, "listen: stream failed\n");
        l.failed = true;
    }
}

void onContext(pa_context *context, void *userdata)
{
    auto &l = *static_cast<Listener *>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 1};
        l.stream = pa_stream_new(context, "picture bench listener", &spec, nullptr);
        pa_stream_set_read_callback(l.stream, onRead, &l);
        pa_stream_set_state_callback(l.stream, onState, &l);
        pa_buffer_attr attr{};
        attr.maxlength = (uint32_t)-1;
        attr.fragsize = (uint32_t)pa_usec_to_bytes(5000, &spec);
        const auto flags = pa_stream_flags_t(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(l.stream, l.source, &attr, flags) < 0)
            l.failed = true;
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        if (stopRequested)
            break;
        std::fprintf(stderr, "listen: no connection to the sound server\n");
        l.failed = true;
        break;
    default:
        break;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SOURCE [SECONDS]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 0.0;
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    Listener l;
    l.source = argv[1];
    l.loop = pa_mainloop_new();
    pa_context *context = pa_context_new(pa_mainloop_get_api(l.loop), "cadrel picture bench");
    pa_context_set_state_callback(context, onContext, &l);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        std::fprintf(stderr, "listen: cannot connect\n");
        return 1;
    }
    const long long end = seconds > 0 ? monotonicNs() + (long long)(seconds * 1e9) : 0;
    while (!stopRequested && !l.failed && (end == 0 || monotonicNs() < end)) {
        // Wake at least every 100 ms to look at the clock and the signals.
        if (pa_mainloop_prepare(l.loop, 100000) < 0)
            break;
        pa_mainloop_poll(l.loop);
        if (pa_mainloop_dispatch(l.loop) < 0)
            break;
    }
    std::fflush(stdout);
    stopRequested = 1; // what follows ends the connection on purpose
    if (l.stream)
        pa_stream_disconnect(l.stream);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(l.loop);
    return l.failed ? 1 : 0;
}
