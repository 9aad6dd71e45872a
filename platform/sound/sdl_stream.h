#pragma once

#include "platform/sound/output_stream.h"

#include <SDL.h>
#include <vector>

namespace platform {

// An output through SDL's audio drivers (ALSA, and the disk driver, which writes exactly what
// was played to a file). The device keeps its own format, rate and channels; the callback always
// gets buffers of the size asked for.
class SdlStream : public OutputStream
{
public:
    SdlStream(int rate, int bufferFrames);
    ~SdlStream() override;

    bool open(StreamFeed &feed, std::string &error) override;
    void close() override;
    bool alive() const override;
    int rate() const override { return obtained_.freq; }
    int channels() const override { return obtained_.channels; }
    std::chrono::nanoseconds lead() const override;
    const char *name() const override { return "SDL"; }

    SDL_AudioFormat format() const { return obtained_.format; }

private:
    static void SDLCALL callback(void *self, Uint8 *stream, int len);
    void fill(Uint8 *stream, int len);
    bool openDevice(int allowedChanges, std::string &error);

    int askedRate_;
    int bufferFrames_;
    StreamFeed *feed_ = nullptr;
    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec obtained_{};
    std::vector<float> scratch_; // the mix, when the device does not take floats
};

} // namespace platform
