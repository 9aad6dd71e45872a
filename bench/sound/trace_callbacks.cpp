// Records when the audio callbacks of an output stream come: opens the default device as the
// program does (48 kHz, 1008-frame buffers, floats), writes silence for N seconds and prints
// one line per callback, the monotonic time in ns. The first line is "# buffer B rate R".
// With --realtime the callback thread runs with real-time scheduling where allowed.
//
//   cadrel_trace_callbacks SECONDS [--realtime] > trace.txt
// Feed the result to cadrel_replay_clock to see how the frame clock places beats on it.
#include "platform/sound/audio_thread.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <SDL.h>
#include <vector>

namespace {

std::vector<long long> times(1 << 20);
std::atomic<int> count{0};
platform::AudioThread thread;

void SDLCALL callback(void *, Uint8 *stream, int len)
{
    thread.noteCurrent();
    const int i = count.load(std::memory_order_relaxed);
    if (i < int(times.size())) {
        times[std::size_t(i)] = std::chrono::steady_clock::now().time_since_epoch().count();
        count.store(i + 1, std::memory_order_release);
    }
    std::memset(stream, 0, std::size_t(len));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SECONDS [--realtime]\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const bool realtime = argc > 2 && std::strcmp(argv[2], "--realtime") == 0;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "no audio: %s\n", SDL_GetError());
        return 1;
    }
    SDL_AudioSpec want{}, got{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1008;
    want.callback = callback;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(
        nullptr, 0, &want, &got, SDL_AUDIO_ALLOW_ANY_CHANGE & ~SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (device == 0) {
        std::fprintf(stderr, "no audio device: %s\n", SDL_GetError());
        return 1;
    }
    SDL_PauseAudioDevice(device, 0);
    while (count.load(std::memory_order_acquire) == 0)
        SDL_Delay(10);
    if (realtime)
        std::fprintf(stderr, "real-time: %s\n", thread.raise() ? "yes" : "refused");
    SDL_Delay(Uint32(seconds) * 1000);
    SDL_CloseAudioDevice(device);
    std::printf("# buffer %d rate %d\n", got.samples, got.freq);
    const int n = count.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i)
        std::printf("%lld\n", times[std::size_t(i)]);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
}
