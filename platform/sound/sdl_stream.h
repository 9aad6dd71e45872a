#pragma once

#include "platform/sound/output_stream.h"

#include <SDL.h>

namespace platform {

// An output through SDL's audio drivers (ALSA where no sound server answers, or the driver
// SDL_AUDIODRIVER names, such as the disk driver, which writes exactly what was played to a
// file). SDL holds what the callback wrote until the device takes it, so clicks cannot be
// taken back from it. The stream is stereo floats at the rate asked for, in buffers of the size
// asked for; SDL converts where the device wants something else.
class SdlStream : public OutputStream
{
public:
    // `driver`: the SDL driver to use (nullptr: as SDL_AUDIODRIVER says, or SDL's own choice).
    SdlStream(int rate, int bufferFrames, const char *driver = nullptr);
    ~SdlStream() override;

    bool open(StreamFiller &filler, int id, std::string &error) override;
    void close() override;
    bool alive() const override;
    const char *name() const override { return "SDL"; }

private:
    static void SDLCALL callback(void *self, Uint8 *stream, int len);

    int rate_;
    int bufferFrames_;
    const char *driver_;
    StreamFiller *filler_ = nullptr;
    int id_ = -1;
    std::int64_t written_ = 0; // frames written (the callback's thread)
    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
};

} // namespace platform
