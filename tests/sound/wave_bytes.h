#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace cadrel_test {

// Builds a RIFF/WAVE file in memory: `tag` 1 for PCM, 3 for float, 0xFFFE for the extensible
// header (with `subTag` as its sub-format); `data` holds the sample bytes as they go on disk.
inline std::vector<std::uint8_t> waveBytes(int tag, int channels, int rate, int bits,
                                           const std::vector<std::uint8_t> &data, int subTag = 1)
{
    std::vector<std::uint8_t> out;
    auto put = [&out](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(std::uint8_t(v >> (8 * i)));
    };
    auto text = [&out](const char *s) {
        for (int i = 0; i < 4; ++i)
            out.push_back(std::uint8_t(s[i]));
    };
    const bool extensible = tag == 0xFFFE;
    const std::uint32_t fmtSize = extensible ? 40 : 16;
    text("RIFF");
    put(std::uint32_t(4 + 8 + fmtSize + 8 + data.size()), 4);
    text("WAVE");
    text("fmt ");
    put(fmtSize, 4);
    put(std::uint32_t(tag), 2);
    put(std::uint32_t(channels), 2);
    put(std::uint32_t(rate), 4);
    put(std::uint32_t(rate * channels * bits / 8), 4);
    put(std::uint32_t(channels * bits / 8), 2);
    put(std::uint32_t(bits), 2);
    if (extensible) {
        put(22, 2);                    // extension size
        put(std::uint32_t(bits), 2);   // valid bits
        put(0, 4);                     // channel mask
        put(std::uint32_t(subTag), 2); // sub-format GUID, starting with the format tag
        const std::uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        for (const std::uint8_t b : rest)
            out.push_back(b);
    }
    text("data");
    put(std::uint32_t(data.size()), 4);
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

inline void writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace cadrel_test
