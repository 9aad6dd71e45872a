#pragma once

#include "platform/sound/output_stream.h"

#include <SDL.h>

namespace platform {

// An output through SDL's audio drivers (ALSA where no sound server answers, or the driver
// SDL_AUDIODRIVER names, such as the disk driver, which writes exactly what was played to a
// file). The stream is stereo floats at the rate asked for, in buffers of the size asked for;
// SDL converts where the device wants something else.
class SdlStream : public OutputStream
{
public:
    SdlStream(int rate, int bufferFrames);
    ~SdlStream() override;

    bool open(StreamFeed &feed, std::string &error) override;
    void close() override;
    bool alive() const override;
    int rate() const override { return rate_; }
    int channels() const override { return 2; }
    std::chrono::nanoseconds lead() const override;
    const char *name() const override { return "SDL"; }

private:
    static void SDLCALL callback(void *self, Uint8 *stream, int len);

    int rate_;
    int bufferFrames_;
    StreamFeed *feed_ = nullptr;
    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
};

} // namespace platform
