#pragma once

#include "platform/sound/wave_decoder.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

namespace platform {

// Decoded clips by path, already converted to the output's rate and channel count. Each lookup
// checks the file's size and modification time, so a changed, replaced or removed file is
// noticed before it is played; an unchanged file is not read again. A file that is missing or
// cannot be decoded gives the default beep, with one line on standard error the first time.
class ClipCache
{
public:
    std::shared_ptr<const PcmClip> get(const std::string &path, int rate, int channels);

    // How many times a file was read and decoded (the cache's misses).
    int loads() const { return loads_; }

private:
    struct Entry {
        bool present = false;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type mtime{};
        int rate = 0;
        int channels = 0;
        std::shared_ptr<const PcmClip> clip;
    };

    std::shared_ptr<const PcmClip> load(const std::string &path, int rate, int channels);
    std::shared_ptr<const PcmClip> beep(int rate, int channels);

    std::unordered_map<std::string, Entry> entries_;
    std::shared_ptr<const PcmClip> beep_;
    std::set<std::string> reported_;
    int loads_ = 0;
};

} // namespace platform
