#include "platform/sound/default_beep.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform {

PcmClip makeDefaultBeep(int rate, int channels)
{
    constexpr double kFrequency = 880.0; // Hz: a plain tone, unlike the click's wooden noise
    constexpr double kLength = 0.12;     // seconds
    constexpr double kFade = 0.01;       // seconds of raised-cosine attack and release
    constexpr double kLevel = 0.2;       // soft: about -14 dB full scale
    PcmClip beep;
    beep.rate = rate;
    beep.channels = channels;
    const auto frames = std::size_t(kLength * rate);
    const double fadeFrames = kFade * rate;
    beep.samples.resize(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const double edge = std::min(double(i), double(frames - 1 - i));
        const double envelope =
            edge < fadeFrames ? 0.5 - 0.5 * std::cos(std::numbers::pi * edge / fadeFrames) : 1.0;
        const auto v =
            float(kLevel * envelope * std::sin(2 * std::numbers::pi * kFrequency * i / rate));
        std::fill_n(&beep.samples[i * channels], channels, v);
    }
    return beep;
}

} // namespace platform
