#include "platform/sound/clip_loader.h"

#include "platform/sound/click_file.h"
#include "platform/sound/clip_convert.h"
#include "platform/sound/default_beep.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace platform {
namespace {

// What says a file changed: another file under the name, another size, another time.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    explicit Stamp(const struct stat &s = {})
        : device(s.st_dev), inode(s.st_ino), size(s.st_size), modified(s.st_mtim)
    {}
    bool operator==(const Stamp &o) const
    {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// What a look at a file found: nothing new, a new clip, or why it cannot be played.
struct Look {
    bool changed = false;
    Stamp stamp;
    std::shared_ptr<const PcmClip> clip; // when changed and playable
    std::string problem;                 // when changed and not playable
};

Look problem(std::string why)
{
    Look look;
    look.changed = true;
    look.problem = std::move(why);
    return look;
}

// Reads the file (opened without blocking, and only when it is a regular file) and converts it
// to the output's format.
Look readFile(const std::string &path, int rate, int channels)
{
    ClickFile file = readClickFile(path, ClipLoader::kLongestSeconds);
    // A file that cannot be played is not read again until it changes.
    Look look = problem(std::move(file.problem));
    look.stamp = Stamp(file.status);
    if (!look.problem.empty())
        return look;
    PcmClip converted = convertClip(file.clip, rate, channels);
    if (converted.frames() == 0)
        look.problem = "non si può convertire da " + std::to_string(file.clip.rate) + " a " +
                       std::to_string(rate) + " Hz";
    else
        look.clip = std::make_shared<const PcmClip>(std::move(converted));
    return look;
}

} // namespace

struct ClipLoader::Shared {
    // One file at one output format.
    struct Entry {
        std::string path;
        int rate = 0;
        int channels = 0;
        bool wanted = false;                 // to be looked at
        bool seen = false;                   // looked at once at least
        Stamp stamp;                         // of the file when last read
        std::shared_ptr<const PcmClip> clip; // nothing: the beep
    };

    std::mutex mutex;
    std::condition_variable wake, done;
    std::list<Entry> entries; // a handful: a path or two, at the formats of the outputs
    int unlooked = 0;         // entries wanted or being looked at
    bool stop = false;
    int loads = 0;
    std::shared_ptr<const PcmClip> beep;
    std::list<std::pair<std::string, std::string>> reported; // path, problem said last

    void work();
    void report(const std::string &path, const std::string &why);
};

void ClipLoader::Shared::report(const std::string &path, const std::string &why)
{
    auto said = std::find_if(reported.begin(), reported.end(),
                             [&](const auto &r) { return r.first == path; });
    if (said == reported.end())
        said = reported.insert(reported.end(), {path, std::string()});
    if (said->second == why)
        return;
    if (why.empty())
        std::fprintf(stderr, "cadrel: \"%s\" si può di nuovo riprodurre\n", path.c_str());
    else
        std::fprintf(stderr,
                     "cadrel: impossibile riprodurre \"%s\": %s; si usa il bip predefinito\n",
                     path.c_str(), why.c_str());
    said->second = why;
}

void ClipLoader::Shared::work()
{
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] {
            return stop || std::any_of(entries.begin(), entries.end(),
                                       [](const Entry &e) { return e.wanted; });
        });
        if (stop)
            return;
        Entry &entry =
            *std::find_if(entries.begin(), entries.end(), [](const Entry &e) { return e.wanted; });
        entry.wanted = false;
        const Entry seen = entry; // entries are never removed: the reference stays good
        lock.unlock();

        // Only a look at the file's name and times while it stays as it was.
        Look look;
        struct stat st {
        };
        if (::stat(seen.path.c_str(), &st) != 0)
            look = problem(errno == ENOENT ? "il file non esiste" : std::strerror(errno));
        else if (!S_ISREG(st.st_mode))
            look = problem(notRegularFile(st.st_mode));
        else if (!seen.seen || !(Stamp(st) == seen.stamp))
            look = readFile(seen.path, seen.rate, seen.channels);

        lock.lock();
        if (look.changed) {
            entry.stamp = look.stamp;
            entry.clip = look.clip;
            loads += look.clip != nullptr;
            report(seen.path, look.problem);
        }
        entry.seen = true;
        if (--unlooked == 0)
            done.notify_all();
    }
}

ClipLoader::ClipLoader() : shared_(std::make_shared<Shared>())
{
    std::thread([shared = shared_] { shared->work(); }).detach();
}

ClipLoader::~ClipLoader()
{
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
    shared_->wake.notify_all();
}

std::shared_ptr<const PcmClip> ClipLoader::clip(const std::string &path, int rate, int channels)
{
    std::lock_guard lock(shared_->mutex);
    auto &entries = shared_->entries;
    auto entry = std::find_if(entries.begin(), entries.end(), [&](const Shared::Entry &e) {
        return e.path == path && e.rate == rate && e.channels == channels;
    });
    if (entry == entries.end()) {
        entry = entries.emplace(entries.end());
        entry->path = path;
        entry->rate = rate;
        entry->channels = channels;
    }
    if (!entry->wanted) {
        entry->wanted = true;
        ++shared_->unlooked;
        shared_->wake.notify_one();
    }
    if (entry->clip)
        return entry->clip;
    auto &beep = shared_->beep;
    if (!beep || beep->rate != rate || beep->channels != channels)
        beep = std::make_shared<const PcmClip>(makeDefaultBeep(rate, channels));
    return beep;
}

bool ClipLoader::waitUntilLookedAt(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(shared_->mutex);
    return shared_->done.wait_for(lock, limit, [&] { return shared_->unlooked == 0; });
}

int ClipLoader::loads() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->loads;
}

} // namespace platform
