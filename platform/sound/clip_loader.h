#pragma once

#include "platform/sound/pcm_clip.h"

#include <chrono>
#include <memory>
#include <string>

namespace platform {

// The click files, read and decoded by a thread of their own, never by the user-interface or
// the audio thread: a huge file, a named pipe or a hung network mount cannot hold up the beat.
// Every request has the file looked at again; a file that changed (or appeared, or went) is
// read again, and until it has been, the beat goes on with the clip there was. A file that is
// missing, is no regular file, cannot be read or holds no sound libsndfile reads gives the built-in
// beep, with one line on standard error saying why, and one more once it can be played again.
class ClipLoader
{
public:
    // A clip keeps at most this much of its file: a click lasts a fraction of a second, and a
    // huge file must take neither the memory nor the time.
    static constexpr double kLongestSeconds = 10;

    ClipLoader();
    // Does not wait for a read under way: the thread finishes it on its own.
    ~ClipLoader();
    ClipLoader(const ClipLoader &) = delete;
    ClipLoader &operator=(const ClipLoader &) = delete;

    // The clip of `path` (narrow, in the file system's own bytes) at the output's rate and
    // channels: the file as last read, or the beep. Returns at once, and has the file looked
    // at again.
    std::shared_ptr<const PcmClip> clip(const std::string &path, int rate, int channels);

private:
    friend class SoundProbe; // the tests' look inside

    // How many times a file was read and decoded.
    int loads() const;
    // Waits until every file asked for so far has been looked at; false when that takes
    // longer than `limit`.
    bool waitUntilLookedAt(std::chrono::milliseconds limit) const;

    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace platform
