#include "platform/sound/click_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// Rates outside these are no sound file's: a damaged header.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 384000;
constexpr sf_count_t kBlockFrames = 4096;

// The open file as libsndfile sees it, read with pread() so that a failed read keeps its
// errno for the message.
struct Source {
    int fd = -1;
    sf_count_t length = 0;
    sf_count_t at = 0;
    int error = 0; // errno of the first failed read
};

sf_count_t sourceLength(void *user)
{
    return static_cast<Source *>(user)->length;
}

sf_count_t sourceSeek(sf_count_t offset, int whence, void *user)
{
    auto &source = *static_cast<Source *>(user);
    const sf_count_t base = whence == SEEK_CUR ? source.at : whence == SEEK_END ? source.length : 0;
    if (base + offset < 0)
        return -1;
    source.at = base + offset;
    return source.at;
}

sf_count_t sourceRead(void *to, sf_count_t count, void *user)
{
    auto &source = *static_cast<Source *>(user);
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(source.fd, static_cast<char *>(to) + done,
                                    std::size_t(count - done), off_t(source.at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && source.error == 0)
            source.error = errno;
        if (got <= 0)
            break;
        done += got;
        source.at += got;
    }
    return done;
}

sf_count_t sourceWrite(const void *, sf_count_t, void *)
{
    return 0;
}

sf_count_t sourceTell(void *user)
{
    return static_cast<Source *>(user)->at;
}

std::string unreadable(int error)
{
    return std::string("non si può leggere: ") + std::strerror(error);
}

// Reads up to `limit` frames of `sound`, keeping one or two channels.
void readFrames(SNDFILE *sound, int channels, sf_count_t limit, PcmClip &clip)
{
    clip.channels = channels <= 2 ? channels : 1;
    std::vector<float> block(std::size_t(kBlockFrames * channels));
    for (sf_count_t read = 0; read < limit;) {
        const sf_count_t got =
            sf_readf_float(sound, block.data(), std::min(kBlockFrames, limit - read));
        if (got <= 0)
            return;
        read += got;
        if (clip.channels == channels) {
            clip.samples.insert(clip.samples.end(), block.begin(), block.begin() + got * channels);
            continue;
        }
        for (sf_count_t i = 0; i < got; ++i) {
            const float *frame = &block[std::size_t(i * channels)];
            float sum = 0;
            for (int c = 0; c < channels; ++c)
                sum += frame[c];
            clip.samples.push_back(sum / float(channels));
        }
    }
}

} // namespace

const char *notRegularFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return "è una cartella, non un file";
    if (S_ISFIFO(mode))
        return "è una pipe con nome, non un file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "è un dispositivo, non un file";
    return "non è un file regolare";
}

ClickFile readClickFile(const std::string &path, double seconds)
{
    ClickFile file;
    auto problem = [&file](std::string why) {
        file.problem = std::move(why);
        file.clip = {};
        return std::move(file);
    };
    Source source;
    source.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (source.fd < 0)
        return problem(unreadable(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{source.fd};
    if (::fstat(source.fd, &file.status) != 0)
        return problem(unreadable(errno));
    if (!S_ISREG(file.status.st_mode))
        return problem(notRegularFile(file.status.st_mode));

    source.length = file.status.st_size;
    SF_VIRTUAL_IO io{sourceLength, sourceSeek, sourceRead, sourceWrite, sourceTell};
    SF_INFO info{};
    SNDFILE *sound = sf_open_virtual(&io, SFM_READ, &info, &source);
    if (!sound) {
        if (source.error != 0)
            return problem(unreadable(source.error));
        return problem(std::string("non è un file audio leggibile (") + sf_strerror(nullptr) + ")");
    }
    struct SoundCloser {
        SNDFILE *sound;
        ~SoundCloser() { sf_close(sound); }
    } soundCloser{sound};
    if (info.samplerate < kLowestRate || info.samplerate > kHighestRate || info.channels < 1)
        return problem("non è un file audio leggibile (frequenza di " +
                       std::to_string(info.samplerate) + " Hz)");

    file.clip.rate = info.samplerate;
    const auto limit = sf_count_t(std::floor(seconds * info.samplerate));
    readFrames(sound, info.channels, limit, file.clip);
    if (source.error != 0)
        return problem(unreadable(source.error));
    if (file.clip.frames() == 0)
        return problem("il file non contiene suono");
    return file;
}

} // namespace platform
