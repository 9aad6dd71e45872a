// A stand-in for the metronome with a known offset between picture and sound, to check the
// picture bench against: a window named "Ritmolino" with a round light where the metronome has
// its light, and a click on every beat through the sound server. The clicks are written on a
// grid of frames; the light changes colour when the stream's clock says the beat's frame is
// heard, plus OFFSET_MS (positive: the picture comes after the click). It prints, on
// CLOCK_MONOTONIC:
//   shown K NS_BEFORE NS_AFTER HEARD_NS  beat K drawn and synced between the two times, for a
//                                        click expected to be heard at HEARD_NS
//   heard K HEARD_NS                     the same click's time estimated again half a second on
//   reading NS HEARD0_NS                 one raw reading of the clock: frame 0 heard at HEARD0_NS
//   underruns N                          at the end: times the stream ran dry (timing void then)
//
//   cadrel_picture_calibrate [--offset MS] [--bpm B] [--seconds S]
#include "../monotonic_clock.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pulse/pulseaudio.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <X11/Xlib.h>

namespace {

constexpr unsigned kRate = 48000;
constexpr long kFirstClick = 2 * kRate; // two seconds in, once the stream has settled
constexpr unsigned long kColours[2] = {0xC0C000, 0xFFFFC0}; // the light's dark and pale yellow

volatile std::sig_atomic_t stopRequested = 0;

void sleepUntil(long long ns)
{
    const timespec at{time_t(ns / 1000000000LL), long(ns % 1000000000LL)};
    while (!stopRequested &&
           clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

// A click like the metronome's: its loudest sample first, then a fast-decaying knock.
std::vector<float> makeClick()
{
    std::vector<float> click(kRate * 30 / 1000);
    for (size_t i = 0; i < click.size(); ++i) {
        const double t = double(i) / kRate;
        click[i] = float(0.7 * std::exp(-t / 0.004) * std::cos(2 * M_PI * 1180.0 * t));
    }
    return click;
}

struct Player {
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    std::vector<float> click = makeClick();
    long period = kRate;
    long long written = 0;
    int underruns = 0;
    std::vector<std::pair<long long, long long>> readings; // (when read, when frame 0 was heard)
    bool settled = false;
};

void onWrite(pa_stream *stream, size_t bytes, void *userdata)
{
    auto &p = *static_cast<Player *>(userdata);
    std::vector<float> out(bytes / sizeof(float));
    for (size_t i = 0; i < out.size(); ++i) {
        const long long f = p.written + (long long)i - kFirstClick;
        if (f >= 0 && size_t(f % p.period) < p.click.size())
            out[i] = p.click[size_t(f % p.period)];
    }
    pa_stream_write(stream, out.data(), out.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    p.written += (long long)out.size();
}

void onUnderflow(pa_stream *, void *userdata)
{
    ++static_cast<Player *>(userdata)->underruns;
}

void onSignal(void *userdata)
{
    pa_threaded_mainloop_signal(static_cast<Player *>(userdata)->loop, 0);
}

bool startPlayer(Player &p)
{
    p.loop = pa_threaded_mainloop_new();
    p.context = pa_context_new(pa_threaded_mainloop_get_api(p.loop), "cadrel picture calibration");
    pa_context_set_state_callback(
        p.context, [](pa_context *, void *u) { onSignal(u); }, &p);
    pa_threaded_mainloop_lock(p.loop);
    pa_threaded_mainloop_start(p.loop);
    pa_context_connect(p.context, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
    while (pa_context_get_state(p.context) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(p.context))) {
            pa_threaded_mainloop_unlock(p.loop);
            return false;
        }
        pa_threaded_mainloop_wait(p.loop);
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 1};
    p.stream = pa_stream_new(p.context, "calibration clicks", &spec, nullptr);
    pa_stream_set_write_callback(p.stream, onWrite, &p);
    pa_stream_set_underflow_callback(p.stream, onUnderflow, &p);
    pa_stream_set_state_callback(
        p.stream, [](pa_stream *, void *u) { onSignal(u); }, &p);
    pa_buffer_attr attr{};
    attr.maxlength = attr.prebuf = attr.fragsize = (uint32_t)-1;
    attr.tlength = (uint32_t)pa_usec_to_bytes(60000, &spec);
    attr.minreq = (uint32_t)pa_usec_to_bytes(10000, &spec);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    pa_stream_connect_playback(p.stream, nullptr, &attr, flags, nullptr, nullptr);
    while (pa_stream_get_state(p.stream) != PA_STREAM_READY) {
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(p.stream))) {
            pa_threaded_mainloop_unlock(p.loop);
            return false;
        }
        pa_threaded_mainloop_wait(p.loop);
    }
    pa_threaded_mainloop_unlock(p.loop);
    return true;
}

// When the stream's clock expects `frame` to be heard, or -1 while it has no timing yet. One
// reading of the clock wanders (by milliseconds on PipeWire), but the sink keeps a steady pace:
// the estimate takes the median of all readings since the first second.
long long heardNs(Player &p, long long frame)
{
    pa_threaded_mainloop_lock(p.loop);
    pa_usec_t played = 0;
    const int error = pa_stream_get_time(p.stream, &played);
    const long long now = monotonicNs();
    const bool lost = pa_stream_get_state(p.stream) != PA_STREAM_READY;
    pa_threaded_mainloop_unlock(p.loop);
    if (lost) {
        std::fprintf(stderr, "calibrate: the sound server went away\n");
        stopRequested = 1;
    }
    if (error < 0 || lost)
        return -1;
    p.readings.push_back({now, now - (long long)played * 1000}); // when frame 0 was heard
    std::printf("reading %lld %lld\n", now, p.readings.back().second);
    if (p.readings.front().first < now - 1000000000LL && !p.settled) {
        p.settled = true; // the first second's readings are the stream settling in
        p.readings.clear();
        p.readings.push_back({now, now - (long long)played * 1000});
    }
    std::vector<long long> starts;
    for (const auto &r : p.readings)
        starts.push_back(r.second);
    std::nth_element(starts.begin(), starts.begin() + long(starts.size() / 2), starts.end());
    return starts[starts.size() / 2] + frame * 1000000000LL / kRate;
}

// Sleeps until `ns`, reading the stream's clock every 5 ms on the way.
void waitReading(Player &p, long long ns)
{
    for (long long t = monotonicNs() + 5000000; t < ns && !stopRequested; t += 5000000) {
        sleepUntil(t);
        heardNs(p, 0);
    }
    sleepUntil(ns);
}

} // namespace

int main(int argc, char **argv)
{
    double offsetMs = 0, bpm = 240, seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const double value = std::atof(argv[i + 1]);
        (arg == "--offset" ? offsetMs : arg == "--bpm" ? bpm : seconds) = value;
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "calibrate: no X display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 412, 23, 352,
                                              533, 0, 0, BlackPixel(display, screen));
    XStoreName(display, window, "Ritmolino");
    XSelectInput(display, window, ExposureMask);
    XMapWindow(display, window);
    const GC gc = XCreateGC(display, window, 0, nullptr);
    int shown = 0;
    const auto draw = [&] {
        XSetForeground(display, gc, kColours[shown % 2]);
        XFillArc(display, window, gc, 115, 376, 41, 41, 0, 360 * 64);
    };
    draw();
    XSync(display, False);

    Player p;
    p.period = std::lround(60.0 * kRate / bpm);
    if (!startPlayer(p)) {
        std::fprintf(stderr, "calibrate: no sound server\n");
        return 1;
    }
    const long long offsetNs = std::llround(offsetMs * 1e6);
    const long long end = monotonicNs() + (long long)(seconds * 1e9);
    for (int k = 0; !stopRequested && monotonicNs() < end; ++k) {
        const long long frame = kFirstClick + (long long)k * p.period;
        long long heard = heardNs(p, frame);
        while (heard < 0 && !stopRequested) {
            usleep(10000);
            heard = heardNs(p, frame);
        }
        if (stopRequested)
            break;
        if (heard + offsetNs < monotonicNs())
            continue; // too late for this beat (only while starting)
        // Estimate again just before drawing, with the freshest timing.
        waitReading(p, heard + offsetNs - 5000000);
        heard = heardNs(p, frame);
        sleepUntil(heard + offsetNs);
        const long long before = monotonicNs();
        shown = k + 1;
        draw();
        XSync(display, False);
        const long long after = monotonicNs();
        std::printf("shown %d %lld %lld %lld\n", k, before, after, heard);
        if (k >= 2)
            std::printf("heard %d %lld\n", k - 2, heardNs(p, frame - 2 * p.period));
        std::fflush(stdout);
        while (XPending(display) > 0) { // redraw after exposure, in the same colour
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == Expose)
                draw();
        }
    }
    pa_threaded_mainloop_lock(p.loop);
    std::printf("underruns %d\n", p.underruns);
    pa_stream_disconnect(p.stream);
    pa_threaded_mainloop_unlock(p.loop);
    pa_threaded_mainloop_stop(p.loop);
    XCloseDisplay(display);
    return 0;
}
