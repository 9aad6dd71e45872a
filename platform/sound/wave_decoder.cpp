#include "platform/sound/wave_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

struct Format {
    std::uint16_t tag = 0;
    int channels = 0;
    int rate = 0;
    int blockAlign = 0;
    int bits = 0;
};

std::optional<Format> parseFormat(std::span<const std::uint8_t> chunk)
{
    if (chunk.size() < 16)
        return std::nullopt;
    Format f;
    f.tag = le16(&chunk[0]);
    f.channels = le16(&chunk[2]);
    f.rate = int(le32(&chunk[4]));
    f.blockAlign = le16(&chunk[12]);
    f.bits = le16(&chunk[14]);
    if (f.tag == kFormatExtensible) {
        // The sub-format GUID starts with the plain format tag.
        if (chunk.size() < 26)
            return std::nullopt;
        f.tag = le16(&chunk[24]);
    }
    const bool pcm =
        f.tag == kFormatPcm && (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32);
    const bool flt = f.tag == kFormatFloat && (f.bits == 32 || f.bits == 64);
    if (!(pcm || flt) || f.channels < 1 || f.channels > 2 || f.rate < 1000 || f.rate > 384000 ||
        f.blockAlign != f.channels * f.bits / 8)
        return std::nullopt;
    return f;
}

float sampleAt(const std::uint8_t *p, const Format &f)
{
    if (f.tag == kFormatFloat) {
        if (f.bits == 32) {
            float v;
            const std::uint32_t raw = le32(p);
            std::memcpy(&v, &raw, sizeof v);
            return std::isfinite(v) ? v : 0.0f;
        }
        const std::uint64_t raw = std::uint64_t(le32(p)) | std::uint64_t(le32(p + 4)) << 32;
        double v;
        std::memcpy(&v, &raw, sizeof v);
        return std::isfinite(v) ? float(v) : 0.0f;
    }
    switch (f.bits) {
    case 8:
        return (int(p[0]) - 128) / 128.0f;
    case 16:
        return std::int16_t(le16(p)) / 32768.0f;
    case 24: {
        const std::uint32_t raw =
            std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 24;
        return float(std::int32_t(raw) / 2147483648.0); // the sign comes with the top byte
    }
    default:
        return float(std::int32_t(le32(p)) / 2147483648.0);
    }
}

// Walks the chunks up to the data chunk: its format, and where and how long its data is.
struct DataChunk {
    Format format;
    std::size_t offset = 0;   // of the samples in the file
    std::size_t declared = 0; // bytes, as the chunk says
};

std::optional<DataChunk> findData(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<Format> format;
    std::size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const std::uint8_t *header = bytes.data() + pos;
        const std::size_t declared = le32(header + 4);
        if (std::memcmp(header, "fmt ", 4) == 0) {
            const std::size_t available = bytes.size() - pos - 8;
            format = parseFormat(bytes.subspan(pos + 8, std::min(declared, available)));
            if (!format)
                return std::nullopt;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!format)
                return std::nullopt;
            return DataChunk{*format, pos + 8, declared};
        }
        pos += 8 + declared + (declared & 1); // chunks are padded to even sizes
    }
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> wavePrefix(std::span<const std::uint8_t> head, double seconds)
{
    const auto data = findData(head);
    if (!data)
        return std::nullopt;
    const auto frames = std::size_t(seconds * data->format.rate);
    return data->offset + std::min(data->declared, frames * std::size_t(data->format.blockAlign));
}

std::optional<PcmClip> decodeWave(std::span<const std::uint8_t> bytes)
{
    const auto data = findData(bytes);
    if (!data)
        return std::nullopt;
    const Format &format = data->format;
    const std::size_t size = std::min(data->declared, bytes.size() - data->offset);
    const std::uint8_t *body = bytes.data() + data->offset;
    PcmClip clip;
    clip.rate = format.rate;
    clip.channels = format.channels;
    const std::size_t frames = size / format.blockAlign;
    const int bytesPerSample = format.bits / 8;
    clip.samples.resize(frames * format.channels);
    for (std::size_t i = 0; i < clip.samples.size(); ++i)
        clip.samples[i] = sampleAt(body + i * bytesPerSample, format);
    return clip;
}

} // namespace platform
