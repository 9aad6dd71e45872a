#include "platform/sound/clip_cache.h"

#include "platform/sound/clip_convert.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace platform {
namespace {

std::vector<std::uint8_t> readAll(const std::string &path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::shared_ptr<const PcmClip> ClipCache::get(const std::string &path, int rate, int channels)
{
    const std::filesystem::path file(path);
    std::error_code error;
    const bool present = std::filesystem::is_regular_file(file, error);
    const std::uintmax_t size = present ? std::filesystem::file_size(file, error) : 0;
    const auto mtime =
        present ? std::filesystem::last_write_time(file, error) : std::filesystem::file_time_type{};

    Entry &entry = entries_[path];
    if (!entry.clip || entry.present != present || entry.size != size || entry.mtime != mtime ||
        entry.rate != rate || entry.channels != channels) {
        entry = Entry{present, size, mtime, rate, channels, load(path, rate, channels)};
    }
    return entry.clip;
}

std::shared_ptr<const PcmClip> ClipCache::load(const std::string &path, int rate, int channels)
{
    ++loads_;
    const std::vector<std::uint8_t> bytes = readAll(path);
    if (const auto decoded = decodeWave(bytes); decoded && decoded->frames() > 0)
        return std::make_shared<const PcmClip>(convertClip(*decoded, rate, channels));
    if (reported_.insert(path).second)
        std::fprintf(stderr,
                     "cadrel: cannot play \"%s\" (missing or not a PCM wave file); "
                     "playing the default beep\n",
                     path.c_str());
    return beep(rate, channels);
}

std::shared_ptr<const PcmClip> ClipCache::beep(int rate, int channels)
{
    if (!beep_ || beep_->rate != rate || beep_->channels != channels)
        beep_ = std::make_shared<const PcmClip>(makeDefaultBeep(rate, channels));
    return beep_;
}

} // namespace platform
