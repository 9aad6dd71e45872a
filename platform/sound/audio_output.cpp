#include "platform/sound/audio_output.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace platform {
namespace {

std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool handledFormat(SDL_AudioFormat format)
{
    return format == AUDIO_F32SYS || format == AUDIO_S16SYS || format == AUDIO_S32SYS ||
           format == AUDIO_U8;
}

// Writes the float mix as integer samples of type T (zero at `offset`, full scale `scale`).
template <typename T>
void store(const float *in, std::size_t n, Uint8 *out, float scale, long offset)
{
    for (std::size_t i = 0; i < n; ++i) {
        const long v = std::lrint(double(in[i]) * scale) + offset;
        const T s =
            T(std::clamp<long>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
        std::memcpy(out + i * sizeof(T), &s, sizeof(T));
    }
}

} // namespace

AudioOutput::AudioOutput(Config config) : config_(config) {}

AudioOutput::~AudioOutput()
{
    close();
}

bool AudioOutput::openDevice(int allowedChanges, const char *&error)
{
    SDL_AudioSpec want{};
    want.freq = config_.rate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = Uint16(config_.bufferFrames);
    want.callback = &AudioOutput::callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &obtained_, allowedChanges);
    if (device_ == 0) {
        error = SDL_GetError();
        return false;
    }
    return true;
}

bool AudioOutput::open(const char *&error)
{
    close();
    if (!subsystem_) {
        // SDL would otherwise take over SIGINT and SIGTERM, and the program would no longer
        // end when asked to.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
            return false;
        }
        subsystem_ = true;
    }
    // A starved stream makes the server insert silence, which shifts every later click; the
    // audio thread asks for real-time scheduling where the system grants it.
    SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Cadrel");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Click");
    // The device keeps its own format, rate and channels, but the callback always gets buffers
    // of the size asked for: SDL 2.26's dummy driver writes a buffer of its own choosing past
    // the end of the one it hands over when the size may change.
    constexpr int allowed = SDL_AUDIO_ALLOW_ANY_CHANGE & ~SDL_AUDIO_ALLOW_SAMPLES_CHANGE;
    if (!openDevice(allowed, error))
        return false;
    if (!handledFormat(obtained_.format)) {
        // A rare layout the mixer does not write: let SDL convert from floats instead.
        SDL_CloseAudioDevice(device_);
        if (!openDevice(allowed & ~SDL_AUDIO_ALLOW_FORMAT_CHANGE, error))
            return false;
    }

    requests_ = std::make_unique<RequestQueue>();
    returns_ = std::make_unique<ReturnQueue>();
    clock_ = std::make_unique<FrameClock>(obtained_.freq, config_.tuning);
    const int fadeFrames = obtained_.freq / 1000; // the cut of a sounding clip lasts 1 ms
    mixer_ = std::make_unique<ClickMixer>(*requests_, *returns_, obtained_.channels, fadeFrames);
    scratch_.assign(std::size_t(obtained_.samples) * obtained_.channels * 2, 0.0f);
    framesWritten_ = 0;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void AudioOutput::close()
{
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_); // returns once the callback has stopped for good
        device_ = 0;
        thread_.forget();
        mixer_->releaseAll();
        collectReturns();
        ClickRequest request;
        while (requests_->pop(request))
            delete request.clip;
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
}

bool AudioOutput::alive() const
{
    return device_ != 0 && SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED;
}

FrameClock::Mapping AudioOutput::mapping() const
{
    return clock_ ? clock_->mapping() : FrameClock::Mapping{};
}

ClickMixer::Stats AudioOutput::stats() const
{
    return mixer_ ? mixer_->stats() : ClickMixer::Stats{};
}

bool AudioOutput::submit(const std::shared_ptr<const PcmClip> &clip, std::int64_t onset)
{
    if (device_ == 0)
        return false;
    collectReturns();
    auto *held = new std::shared_ptr<const PcmClip>(clip);
    if (!requests_->push(ClickRequest{held, onset, ++serial_})) {
        delete held;
        return false;
    }
    return true;
}

void AudioOutput::collectReturns()
{
    if (!returns_)
        return;
    std::shared_ptr<const PcmClip> *held = nullptr;
    while (returns_->pop(held))
        delete held;
}

void SDLCALL AudioOutput::callback(void *self, Uint8 *stream, int len)
{
    static_cast<AudioOutput *>(self)->fill(stream, len);
}

void AudioOutput::fill(Uint8 *stream, int len)
{
    const int bytesPerFrame = SDL_AUDIO_BITSIZE(obtained_.format) / 8 * obtained_.channels;
    const int frames = len / bytesPerFrame;
    const std::size_t samples = std::size_t(frames) * obtained_.channels;
    thread_.noteCurrent();
    clock_->update(framesWritten_, frames, monotonicNs());

    const bool direct = obtained_.format == AUDIO_F32SYS;
    if (!direct && samples > scratch_.size()) { // never expected: SDL keeps its buffer size
        std::memset(stream, obtained_.silence, std::size_t(len));
        framesWritten_ += frames;
        return;
    }
    float *mix = direct ? reinterpret_cast<float *>(stream) : scratch_.data();
    mixer_->render(mix, frames, framesWritten_);
    if (obtained_.format == AUDIO_S16SYS)
        store<Sint16>(mix, samples, stream, 32768.0f, 0);
    else if (obtained_.format == AUDIO_S32SYS)
        store<Sint32>(mix, samples, stream, 2147483648.0f, 0);
    else if (obtained_.format == AUDIO_U8)
        store<Uint8>(mix, samples, stream, 128.0f, 128);
    framesWritten_ += frames;
}

} // namespace platform
