#include "platform/sound/sdl_stream.h"

#include <chrono>
#include <mutex>

#if __has_include(<alsa/asoundlib.h>)
#include <alsa/asoundlib.h>
#endif

namespace platform {
namespace {

// SDL's audio set-up is not safe from two threads at once, and a stream may be closing in a
// thread of its own while another opens.
std::mutex &sdlAudio()
{
    static std::mutex mutex;
    return mutex;
}

#if __has_include(<alsa/asoundlib.h>)
void ignoreAlsaError(const char *, int, const char *, int, const char *, ...) {}
#endif

// ALSA prints several lines for every device it cannot open, and looking for one again every
// second would fill a terminal: the program says itself, once, what it found.
void quietAlsa()
{
#if __has_include(<alsa/asoundlib.h>)
    snd_lib_error_set_handler(&ignoreAlsaError);
#endif
}

} // namespace

SdlStream::SdlStream(int rate, int bufferFrames, const char *driver)
    : rate_(rate), bufferFrames_(bufferFrames), driver_(driver)
{}

SdlStream::~SdlStream()
{
    close();
}

bool SdlStream::open(StreamFiller &filler, int id, std::string &error)
{
    close();
    filler_ = &filler;
    id_ = id;
    written_ = 0;
    const std::lock_guard lock(sdlAudio());
    quietAlsa();
    // SDL would otherwise take over SIGINT and SIGTERM, and the program would no longer end
    // when asked to.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (driver_ != nullptr)
        SDL_SetHint(SDL_HINT_AUDIODRIVER, driver_);
    const int initialised = SDL_InitSubSystem(SDL_INIT_AUDIO);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (initialised != 0) {
        error = SDL_GetError();
        return false;
    }
    subsystem_ = true;
    SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Cadrel");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Click");
    SDL_AudioSpec want{};
    want.freq = rate_;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = Uint16(bufferFrames_);
    want.callback = &SdlStream::callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device_ == 0) {
        error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
        return false;
    }
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlStream::close()
{
    const std::lock_guard lock(sdlAudio());
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

// The buffer written now is heard once the one before it has been played.
void SDLCALL SdlStream::callback(void *self, Uint8 *stream, int len)
{
    auto *me = static_cast<SdlStream *>(self);
    me->thread().noteCurrent();
    const std::int64_t now = monotonicNs();
    me->noteFill(now);
    const int frames = len / int(2 * sizeof(float));
    const std::int64_t heard = now + std::int64_t(me->bufferFrames_) * 1'000'000'000 / me->rate_;
    me->filler_->fill(me->id_, reinterpret_cast<float *>(stream), frames, me->written_, heard,
                      true);
    me->written_ += frames;
}

} // namespace platform
