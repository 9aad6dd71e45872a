#pragma once

// The tests' look inside a Sound: its engine, its outputs and its click loader, and the waits
// for their threads.
#include "platform/sound/sound.h"

namespace platform {

class SoundProbe
{
public:
    static const BeatEngine &engine(const Sound &sound) { return *sound.engine_; }
    static OutputManager &outputs(Sound &sound) { return sound.outputs_; }
    static ClipLoader &clips(Sound &sound) { return sound.clips_; }
    // Waits until the output has been looked for at least `looks` times.
    static bool waitForLooks(const OutputManager &outputs, int looks,
                             std::chrono::milliseconds limit)
    {
        return outputs.waitForLooks(looks, limit);
    }
    // How many times a click file was read and decoded.
    static int loads(const ClipLoader &clips) { return clips.loads(); }
    // Waits until every click file asked for so far has been looked at.
    static bool waitUntilLookedAt(const ClipLoader &clips, std::chrono::milliseconds limit)
    {
        return clips.waitUntilLookedAt(limit);
    }
};

} // namespace platform
