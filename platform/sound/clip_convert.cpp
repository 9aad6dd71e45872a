#include "platform/sound/clip_convert.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform {
namespace {

// Mixes a source frame down or up to `channels` values written at `out`.
void mapChannels(const float *in, int inChannels, float *out, int channels)
{
    if (inChannels == 1) {
        std::fill(out, out + channels, in[0]);
        return;
    }
    if (channels == 1) {
        out[0] = 0.5f * (in[0] + in[1]);
        return;
    }
    std::fill(out, out + channels, 0.0f);
    out[0] = in[0];
    out[1] = in[1];
}

} // namespace

PcmClip convertClip(const PcmClip &clip, int rate, int channels)
{
    PcmClip out;
    out.rate = rate;
    out.channels = channels;
    const std::size_t inFrames = clip.frames();
    if (inFrames == 0 || rate <= 0 || channels <= 0)
        return out;

    const double step = double(clip.rate) / rate; // source frames per output frame
    const auto outFrames = std::size_t(std::floor((inFrames - 1) / step)) + 1;
    out.samples.resize(outFrames * channels);
    std::vector<float> mixed(clip.channels);
    for (std::size_t i = 0; i < outFrames; ++i) {
        const double pos = i * step;
        const auto j = std::min(std::size_t(pos), inFrames - 1);
        const float frac = float(pos - double(j));
        const std::size_t k = std::min(j + 1, inFrames - 1);
        for (int c = 0; c < clip.channels; ++c) {
            const float a = clip.samples[j * clip.channels + c];
            const float b = clip.samples[k * clip.channels + c];
            mixed[c] = a + (b - a) * frac;
        }
        mapChannels(mixed.data(), clip.channels, &out.samples[i * channels], channels);
    }
    return out;
}

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
