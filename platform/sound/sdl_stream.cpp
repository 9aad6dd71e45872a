#include "platform/sound/sdl_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace platform {
namespace {

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

std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

SdlStream::SdlStream(int rate, int bufferFrames) : askedRate_(rate), bufferFrames_(bufferFrames) {}

SdlStream::~SdlStream()
{
    close();
}

bool SdlStream::openDevice(int allowedChanges, std::string &error)
{
    SDL_AudioSpec want{};
    want.freq = askedRate_;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = Uint16(bufferFrames_);
    want.callback = &SdlStream::callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &obtained_, allowedChanges);
    if (device_ == 0) {
        error = SDL_GetError();
        return false;
    }
    return true;
}

bool SdlStream::open(StreamFeed &feed, std::string &error)
{
    close();
    feed_ = &feed;
    // SDL would otherwise take over SIGINT and SIGTERM, and the program would no longer end
    // when asked to.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = SDL_GetError();
        return false;
    }
    subsystem_ = true;
    SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Cadrel");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Click");
    // The buffer size may not change: SDL 2.26's dummy driver writes a buffer of its own
    // choosing past the end of the one it hands over when it may.
    constexpr int allowed = SDL_AUDIO_ALLOW_ANY_CHANGE & ~SDL_AUDIO_ALLOW_SAMPLES_CHANGE;
    if (!openDevice(allowed, error)) {
        close();
        return false;
    }
    if (!handledFormat(obtained_.format)) {
        // A rare layout the mix is not written in: let SDL convert from floats instead.
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        if (!openDevice(allowed & ~SDL_AUDIO_ALLOW_FORMAT_CHANGE, error)) {
            close();
            return false;
        }
    }
    scratch_.assign(std::size_t(obtained_.samples) * obtained_.channels, 0.0f);
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlStream::close()
{
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_); // returns once the callback has stopped for good
        device_ = 0;
        thread().forget();
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
}

bool SdlStream::alive() const
{
    return device_ != 0 && SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED;
}

std::chrono::nanoseconds SdlStream::lead() const
{
    // The buffer written now is played once the one before it has been.
    return std::chrono::nanoseconds(std::int64_t(1e9) * obtained_.samples /
                                    std::max(1, obtained_.freq));
}

void SDLCALL SdlStream::callback(void *self, Uint8 *stream, int len)
{
    static_cast<SdlStream *>(self)->fill(stream, len);
}

void SdlStream::fill(Uint8 *stream, int len)
{
    thread().noteCurrent();
    const int channels = obtained_.channels;
    const int width = SDL_AUDIO_BITSIZE(obtained_.format) / 8;
    const int frames = len / (width * channels);
    feed_->asked(frames, monotonicNs());
    if (obtained_.format == AUDIO_F32SYS) {
        feed_->render(reinterpret_cast<float *>(stream), frames);
        return;
    }
    // Through the float mix, a buffer of it at a time.
    const int room = int(scratch_.size()) / channels;
    for (int done = 0; done < frames;) {
        const int n = std::min(room, frames - done);
        const std::size_t samples = std::size_t(n) * channels;
        Uint8 *out = stream + std::size_t(done) * channels * width;
        feed_->render(scratch_.data(), n);
        if (obtained_.format == AUDIO_S16SYS)
            store<Sint16>(scratch_.data(), samples, out, 32768.0f, 0);
        else if (obtained_.format == AUDIO_S32SYS)
            store<Sint32>(scratch_.data(), samples, out, 2147483648.0f, 0);
        else
            store<Uint8>(scratch_.data(), samples, out, 128.0f, 128);
        done += n;
    }
}

} // namespace platform
