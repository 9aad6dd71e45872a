#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform {

// Decoded audio: interleaved samples scaled to -1..1, at the file's own rate and channel count.
struct PcmClip {
    int rate = 0;     // frames per second
    int channels = 0; // 1 or 2
    std::vector<float> samples;

    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

// Decodes a RIFF/WAVE file held in memory: PCM 8, 16, 24 or 32 bits, IEEE float 32 or 64 bits
// (plain or WAVE_FORMAT_EXTENSIBLE), mono or stereo, any rate. Returns nothing for anything else
// or for a damaged file; a data chunk cut short by the end of the file is read as far as it goes.
std::optional<PcmClip> decodeWave(std::span<const std::uint8_t> bytes);

// How much of a wave file holds its header and its first `seconds` of sound, from the file's
// beginning in `head`; nothing when `head` does not hold the whole header of such a file. The
// rest of the file need not be read: decodeWave() takes a data chunk cut short.
std::optional<std::size_t> wavePrefix(std::span<const std::uint8_t> head, double seconds);

} // namespace platform
