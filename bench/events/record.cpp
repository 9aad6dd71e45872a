// Records a source (a sink's monitor) into a raw file, s16le mono 48 kHz, and prints its
// timeline on CLOCK_MONOTONIC, so that its frames can be put on the clock the picture is
// stamped on:
//   audio FRAME CAPTURE_NS NOW_NS  a chunk's first frame, its capture time by the stream's
//                                  latency (timing refreshed at every read), when it was read
//   lost FRAME NOW_NS              the connection or the source went away
//   segment FRAME NOW_NS           connected again (the frames go on counting)
//   overflow FRAME NOW_NS          the server says data was lost before FRAME (read too late)
// When the server goes away (killed, restarted) or the source does not exist yet, it connects
// again every 100 ms, so that one recording spans a restart.
//
//   cadrel_events_record SOURCE RAWFILE [SECONDS] [--latency-ms MS]
//   cadrel_events_record --now     prints CLOCK_MONOTONIC in nanoseconds
// PULSE_SERVER picks the server. Reads until SECONDS have passed or SIGINT/SIGTERM.
#include "../monotonic_clock.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pulse/pulseaudio.h>
#include <string>

namespace {

constexpr unsigned kRate = 48000;
volatile std::sig_atomic_t stopRequested = 0;

struct Recorder {
    pa_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    const char *source = nullptr;
    FILE *out = nullptr;
    unsigned latencyMs = 20;
    long long frame = 0;
    bool broken = false;    // the connection is to be dropped and made again
    bool connected = false; // data came since the last (re)connection
    long long retryAt = 0;
};

void onRead(pa_stream *stream, size_t, void *userdata)
{
    auto &r = *static_cast<Recorder *>(userdata);
    while (pa_stream_readable_size(stream) > 0) {
        const void *data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            return;
        const long long now = monotonicNs();
        if (!r.connected) {
            r.connected = true;
            std::printf("segment %lld %lld\n", r.frame, now);
        }
        pa_usec_t latency = 0;
        int negative = 0;
        long long capture = 0;
        if (pa_stream_get_latency(stream, &latency, &negative) == 0)
            capture = now - (long long)latency * 1000 * (negative ? -1 : 1);
        std::printf("audio %lld %lld %lld\n", r.frame, capture, now);
        const size_t frames = bytes / sizeof(short);
        if (data) {
            std::fwrite(data, sizeof(short), frames, r.out);
        } else { // a hole in the source: silence in its place
            static const short zeros[4096] = {};
            for (size_t left = frames; left > 0;) {
                const size_t n = left < 4096 ? left : 4096;
                std::fwrite(zeros, sizeof(short), n, r.out);
                left -= n;
            }
        }
        r.frame += (long long)frames;
        pa_stream_drop(stream);
        pa_operation *op = pa_stream_update_timing_info(stream, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }
}

void onOverflow(pa_stream *, void *userdata)
{
    std::printf("overflow %lld %lld\n", static_cast<Recorder *>(userdata)->frame, monotonicNs());
}

void markBroken(Recorder &r)
{
    if (!r.broken && !stopRequested) {
        if (r.connected)
            std::printf("lost %lld %lld\n", r.frame, monotonicNs());
        r.broken = true;
        r.connected = false;
    }
}

void onStreamState(pa_stream *stream, void *userdata)
{
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED ||
        pa_stream_get_state(stream) == PA_STREAM_TERMINATED)
        markBroken(*static_cast<Recorder *>(userdata));
}

void onContext(pa_context *context, void *userdata)
{
    auto &r = *static_cast<Recorder *>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
        r.stream = pa_stream_new(context, "events bench recorder", &spec, nullptr);
        pa_stream_set_read_callback(r.stream, onRead, &r);
        pa_stream_set_state_callback(r.stream, onStreamState, &r);
        pa_stream_set_overflow_callback(r.stream, onOverflow, &r);
        pa_buffer_attr attr{};
        attr.maxlength = (uint32_t)pa_usec_to_bytes(4000000, &spec); // 4 s of slack under load
        attr.fragsize = (uint32_t)pa_usec_to_bytes(r.latencyMs * 1000ULL, &spec);
        // Not moved with the default source or sink: it records the sink it was given.
        const auto flags =
            pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                              PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(r.stream, r.source, &attr, flags) < 0)
            markBroken(r);
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        markBroken(r);
        break;
    default:
        break;
    }
}

void disconnect(Recorder &r)
{
    if (r.stream) {
        pa_stream_set_state_callback(r.stream, nullptr, nullptr);
        pa_stream_set_read_callback(r.stream, nullptr, nullptr);
        pa_stream_disconnect(r.stream);
        pa_stream_unref(r.stream);
        r.stream = nullptr;
    }
    if (r.context) {
        pa_context_set_state_callback(r.context, nullptr, nullptr);
        pa_context_disconnect(r.context);
        pa_context_unref(r.context);
        r.context = nullptr;
    }
}

void connect(Recorder &r)
{
    r.broken = false;
    r.context = pa_context_new(pa_mainloop_get_api(r.loop), "cadrel events bench");
    pa_context_set_state_callback(r.context, onContext, &r);
    if (pa_context_connect(r.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        r.broken = true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--now") == 0) {
        std::printf("%lld\n", monotonicNs());
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SOURCE RAWFILE [SECONDS] [--latency-ms MS] | --now\n",
                     argv[0]);
        return 2;
    }
    Recorder r;
    r.source = argv[1];
    r.out = std::fopen(argv[2], "wb");
    if (!r.out) {
        std::perror(argv[2]);
        return 1;
    }
    double seconds = 0;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--latency-ms") == 0 && i + 1 < argc)
            r.latencyMs = (unsigned)std::atoi(argv[++i]);
        else
            seconds = std::atof(argv[i]);
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::signal(SIGPIPE, SIG_IGN);
    r.loop = pa_mainloop_new();
    connect(r);
    const long long end = seconds > 0 ? monotonicNs() + (long long)(seconds * 1e9) : 0;
    while (!stopRequested && (end == 0 || monotonicNs() < end)) {
        if (r.broken) {
            disconnect(r);
            if (r.retryAt == 0)
                r.retryAt = monotonicNs() + 100000000LL;
            if (monotonicNs() >= r.retryAt) {
                r.retryAt = 0;
                connect(r);
            }
        }
        if (pa_mainloop_prepare(r.loop, 50000) < 0)
            break;
        pa_mainloop_poll(r.loop);
        if (pa_mainloop_dispatch(r.loop) < 0)
            break;
        std::fflush(stdout);
    }
    stopRequested = 1;
    disconnect(r);
    pa_mainloop_free(r.loop);
    std::fclose(r.out);
    std::fflush(stdout);
    return 0;
}
