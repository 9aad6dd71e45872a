// Records a PipeWire sink's output natively and prints, on CLOCK_MONOTONIC, when its samples
// were played and where clicks start in it, in the same lines as cadrel_picture_listen:
//   audio FRAME NS NOW  a cycle's first frame, the start of the graph cycle the sink played it
//                       in (the driver's own clock), and when it was read
//   click FRAME PEAK    a click's first frame: |sample| above the threshold after a long quiet
//   clock graph         first: the times are the graph's, to be taken as they are
//   segment FRAME NOW   when it started, at FRAME (the events bench's recorder says the same)
// A PulseAudio client can only infer when a monitor's samples were captured from the server's
// latency answers, which on PipeWire's PulseAudio service move in whole cycles; here the graph
// says which cycle each buffer belongs to. The stream processes on the graph's own thread, so
// each buffer is the sink's output of the cycle it is handed over in.
//
//   cadrel_picture_listen_pw SINK [SECONDS] [--latency FRAMES] [--raw FILE [--append]]
// Reads until SECONDS have passed (default: until SIGINT/SIGTERM). --latency is the cycle this
// stream asks the graph for (default 1024: no shorter than the metronome's own). --raw writes
// the samples too, s16le mono 48 kHz, as the events bench's recorder does, so that the events
// bench can record PipeWire's sinks by the graph's clock. --append adds to FILE, its frames
// counted on from those already there: a recorder started again after a server restart.
#include "../monotonic_clock.h"

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <string>

namespace {

constexpr unsigned kRate = 48000;
constexpr float kLoud = 0.05f;            // a click's first sample is well above this
constexpr float kQuiet = 0.01f;           // and the time before it is below this
constexpr long kQuietFrames = kRate / 20; // for at least 50 ms

struct Listener {
    pw_main_loop *loop = nullptr;
    pw_stream *stream = nullptr;
    long long frame = 0;
    long quiet = kQuietFrames;
    FILE *raw = nullptr;
};

void onProcess(void *userdata)
{
    auto &l = *static_cast<Listener *>(userdata);
    pw_buffer *b = pw_stream_dequeue_buffer(l.stream);
    if (b == nullptr)
        return;
    pw_time time{};
    pw_stream_get_time_n(l.stream, &time, sizeof time);
    const spa_data &data = b->buffer->datas[0];
    const auto *samples = static_cast<const float *>(data.data);
    const std::uint32_t offset = data.chunk->offset;
    const std::uint32_t frames = data.chunk->size / sizeof(float);
    if (samples != nullptr && frames > 0) {
        samples = reinterpret_cast<const float *>(reinterpret_cast<const char *>(samples) + offset);
        std::printf("audio %lld %lld %lld\n", l.frame, (long long)time.now, monotonicNs());
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float v = std::fabs(samples[i]);
            if (v > kLoud && l.quiet >= kQuietFrames)
                std::printf("click %lld %.3f\n", l.frame + (long long)i, v);
            l.quiet = v < kQuiet ? l.quiet + 1 : 0;
            if (l.raw != nullptr) {
                const float clamped = std::fmax(-1.0f, std::fmin(1.0f, samples[i]));
                const auto sample = std::int16_t(std::lrint(clamped * 32767.0f));
                std::fwrite(&sample, sizeof sample, 1, l.raw);
            }
        }
        l.frame += frames;
        // Flushed each cycle: a listener stopped by force loses nothing it has counted.
        std::fflush(stdout);
        if (l.raw != nullptr)
            std::fflush(l.raw);
    }
    pw_stream_queue_buffer(l.stream, b);
}

const pw_stream_events kEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = onProcess;
    return events;
}();

Listener *running = nullptr;

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s SINK [SECONDS] [--latency FRAMES] [--raw FILE [--append]]\n",
                     argv[0]);
        return 2;
    }
    double seconds = 0;
    int latency = 1024;
    const char *rawPath = nullptr;
    bool append = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--latency") == 0 && i + 1 < argc)
            latency = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--raw") == 0 && i + 1 < argc)
            rawPath = argv[++i];
        else if (std::strcmp(argv[i], "--append") == 0)
            append = true;
        else
            seconds = std::atof(argv[i]);
    }
    pw_init(&argc, &argv);
    Listener l;
    if (rawPath != nullptr && (l.raw = std::fopen(rawPath, append ? "ab" : "wb")) == nullptr) {
        std::fprintf(stderr, "listen_pw: cannot write %s\n", rawPath);
        return 1;
    }
    if (l.raw != nullptr && std::fseek(l.raw, 0, SEEK_END) == 0)
        l.frame = std::ftell(l.raw) / long(sizeof(std::int16_t));
    l.loop = pw_main_loop_new(nullptr);
    running = &l;
    std::signal(SIGINT, [](int) { pw_main_loop_quit(running->loop); });
    std::signal(SIGTERM, [](int) { pw_main_loop_quit(running->loop); });
    const std::string cycle = std::to_string(latency) + "/" + std::to_string(kRate);
    pw_properties *props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
        "Production", PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_TARGET_OBJECT, argv[1],
        PW_KEY_NODE_LATENCY, cycle.c_str(), PW_KEY_NODE_DONT_RECONNECT, "true", nullptr);
    l.stream = pw_stream_new_simple(pw_main_loop_get_loop(l.loop), "picture bench listener", props,
                                    &kEvents, &l);
    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = 1;
    const spa_pod *params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                       PW_STREAM_FLAG_RT_PROCESS);
    if (pw_stream_connect(l.stream, PW_DIRECTION_INPUT, PW_ID_ANY, flags, params, 1) < 0) {
        std::fprintf(stderr, "listen_pw: cannot connect to %s\n", argv[1]);
        return 1;
    }
    if (seconds > 0) {
        pw_loop *loop = pw_main_loop_get_loop(l.loop);
        spa_source *timer = pw_loop_add_timer(
            loop,
            [](void *data, std::uint64_t) { pw_main_loop_quit(static_cast<pw_main_loop *>(data)); },
            l.loop);
        timespec after{time_t(seconds), long((seconds - double(time_t(seconds))) * 1e9)};
        pw_loop_update_timer(loop, timer, &after, nullptr, false);
    }
    std::printf("clock graph\nsegment %lld %lld\n", l.frame, monotonicNs());
    pw_main_loop_run(l.loop);
    pw_stream_destroy(l.stream);
    pw_main_loop_destroy(l.loop);
    if (l.raw != nullptr)
        std::fclose(l.raw);
    pw_deinit();
    return 0;
}
