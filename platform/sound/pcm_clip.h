#pragma once

#include <cstddef>
#include <vector>

namespace platform {

// Decoded audio: interleaved samples scaled to -1..1, at a rate and channel count of its own
// (a file's, as read, or an output's, once converted).
struct PcmClip {
    int rate = 0;     // frames per second
    int channels = 0; // samples per frame
    std::vector<float> samples;

    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

} // namespace platform
