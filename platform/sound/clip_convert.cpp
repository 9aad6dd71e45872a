#include "platform/sound/clip_convert.h"

#include <algorithm>
#include <cmath>
#include <samplerate.h>

namespace platform {
namespace {

// Mixes every frame of `in` down or up to `channels`.
std::vector<float> mapChannels(const PcmClip &in, int channels)
{
    const std::size_t frames = in.frames();
    const int inChannels = in.channels;
    std::vector<float> out(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const float *from = &in.samples[i * inChannels];
        float *to = &out[i * channels];
        if (inChannels == 2 && channels >= 2) {
            to[0] = from[0];
            to[1] = from[1];
            continue; // the other channels stay silent
        }
        float sum = 0;
        for (int c = 0; c < inChannels; ++c)
            sum += from[c];
        std::fill(to, to + channels, sum / float(inChannels));
    }
    return out;
}

} // namespace

PcmClip convertClip(const PcmClip &clip, int rate, int channels)
{
    PcmClip out;
    out.rate = rate;
    out.channels = channels;
    if (clip.frames() == 0 || clip.rate <= 0 || rate <= 0 || channels <= 0)
        return out;

    // Channels first: never more than the output's to convert.
    std::vector<float> mapped =
        clip.channels == channels ? clip.samples : mapChannels(clip, channels);
    mapped.resize(clip.frames() * channels); // no sample of a frame cut short
    if (clip.rate == rate) {
        out.samples = std::move(mapped);
        return out;
    }
    const double ratio = double(rate) / clip.rate;
    if (src_is_valid_ratio(ratio) == 0)
        return out;
    const auto inFrames = long(clip.frames());
    const auto room = long(std::ceil(double(inFrames) * ratio)) + 1;
    out.samples.resize(std::size_t(room) * channels);
    SRC_DATA data{};
    data.data_in = mapped.data();
    data.data_out = out.samples.data();
    data.input_frames = inFrames;
    data.output_frames = room;
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_BEST_QUALITY, channels) != 0)
        data.output_frames_gen = 0;
    out.samples.resize(std::size_t(data.output_frames_gen) * channels);
    return out;
}

} // namespace platform
