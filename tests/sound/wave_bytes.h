#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <numbers>
#include <sndfile.h>
#include <string>
#include <vector>

namespace cadrel_test {

// Appends `v` in `n` bytes, little-endian, and `text` as its characters.
inline void putLe(std::vector<std::uint8_t> &out, std::uint32_t v, int n = 4)
{
    for (int i = 0; i < n; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}
inline void putText(std::vector<std::uint8_t> &out, const char *text)
{
    out.insert(out.end(), text, text + std::strlen(text));
}

// Builds a RIFF/WAVE file in memory: `tag` 1 for PCM, 3 for float, 0xFFFE for the extensible
// header (with `subTag` as its sub-format); `data` holds the sample bytes as they go on disk.
inline std::vector<std::uint8_t> waveBytes(int tag, int channels, int rate, int bits,
                                           const std::vector<std::uint8_t> &data, int subTag = 1)
{
    std::vector<std::uint8_t> out;
    const bool extensible = tag == 0xFFFE;
    const std::uint32_t fmtSize = extensible ? 40 : 16;
    putText(out, "RIFF");
    putLe(out, std::uint32_t(4 + 8 + fmtSize + 8 + data.size()));
    putText(out, "WAVEfmt ");
    putLe(out, fmtSize);
    putLe(out, std::uint32_t(tag), 2);
    putLe(out, std::uint32_t(channels), 2);
    putLe(out, std::uint32_t(rate));
    putLe(out, std::uint32_t(rate * channels * bits / 8));
    putLe(out, std::uint32_t(channels * bits / 8), 2);
    putLe(out, std::uint32_t(bits), 2);
    if (extensible) {
        putLe(out, 22, 2);                    // extension size
        putLe(out, std::uint32_t(bits), 2);   // valid bits
        putLe(out, 0);                        // channel mask
        putLe(out, std::uint32_t(subTag), 2); // sub-format GUID, starting with the format tag
        out.insert(out.end(), {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00,
                               0x38, 0x9B, 0x71});
    }
    putText(out, "data");
    putLe(out, std::uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// 16-bit mono PCM of the given samples (-1..1).
inline std::vector<std::uint8_t> wave16(int rate, const std::vector<float> &samples)
{
    std::vector<std::uint8_t> data;
    for (const float s : samples) {
        const auto v = std::int16_t(s * 32767.0f);
        data.push_back(std::uint8_t(v & 0xFF));
        data.push_back(std::uint8_t((v >> 8) & 0xFF));
    }
    return waveBytes(1, 1, rate, 16, data);
}

// `wave` (as waveBytes() builds it) with a metadata chunk of `size` bytes before its data
// chunk, padded to an even size as chunks are: a JUNK chunk, or a LIST chunk holding one long
// comment.
inline std::vector<std::uint8_t> withChunkBeforeData(std::vector<std::uint8_t> wave, bool list,
                                                     std::uint32_t size)
{
    std::vector<std::uint8_t> chunk;
    putText(chunk, list ? "LIST" : "JUNK");
    putLe(chunk, size);
    if (list) {
        putText(chunk, "INFOICMT");
        putLe(chunk, size - 12);
    }
    chunk.resize(8 + size + (size & 1), 'm');
    std::size_t at = 12;
    while (std::memcmp(&wave[at], "data", 4) != 0)
        at += 8 + (std::size_t(wave[at + 4]) | std::size_t(wave[at + 5]) << 8 |
                   std::size_t(wave[at + 6]) << 16 | std::size_t(wave[at + 7]) << 24);
    wave.insert(wave.begin() + std::ptrdiff_t(at), chunk.begin(), chunk.end());
    for (int i = 0; i < 4; ++i) // the RIFF chunk's size
        wave[4 + i] = std::uint8_t((wave.size() - 8) >> (8 * i));
    return wave;
}

// `frames` frames of `channels` sines, interleaved: channel c at 330 + 110 c Hz, peak 0.5 - 0.05 c,
// so that every channel can be told from the others.
inline std::vector<float> sines(int rate, int channels, std::size_t frames)
{
    std::vector<float> out(frames * channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = float(
                (0.5 - 0.05 * c) * std::sin(2 * std::numbers::pi * (330 + 110 * c) * i / rate));
    return out;
}

// The root-mean-square difference of `got` and `want` over the frames of `want`, against the
// root-mean-square level of `want`: 0 for a perfect copy, 1 for silence.
inline double relativeError(const std::vector<float> &got, const std::vector<float> &want)
{
    double error = 0, level = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const double d = i < got.size() ? double(got[i]) - want[i] : want[i];
        error += d * d;
        level += double(want[i]) * want[i];
    }
    return std::sqrt(error / level);
}

// Writes interleaved `samples` to `path` through libsndfile as `format` (a major format and an
// encoding, e.g. SF_FORMAT_WAV | SF_FORMAT_ULAW); false when libsndfile refuses.
inline bool writeSound(const std::string &path, int format, int rate, int channels,
                       const std::vector<float> &samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t frames = sf_count_t(samples.size()) / channels;
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

inline void writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace cadrel_test
