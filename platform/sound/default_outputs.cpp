#include "platform/sound/output_manager.h"
#include "platform/sound/pulse_stream.h"
#include "platform/sound/sdl_stream.h"

#include <cstdlib>

namespace platform {

std::vector<std::unique_ptr<OutputStream>> defaultOutputs(const SoundSettings &settings)
{
    std::vector<std::unique_ptr<OutputStream>> streams;
    const char *chosen = std::getenv("SDL_AUDIODRIVER");
    if (chosen != nullptr && *chosen != '\0') {
        streams.push_back(std::make_unique<SdlStream>(settings.rate, settings.sdlBufferFrames));
        return streams;
    }
    streams.push_back(std::make_unique<PulseStream>(settings));
    streams.push_back(std::make_unique<SdlStream>(settings.rate, settings.sdlBufferFrames, "alsa"));
    return streams;
}

} // namespace platform
