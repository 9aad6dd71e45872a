#pragma once

// The tests' look inside a Sound: its engine, its outputs and its click loader.
#include "platform/sound/sound.h"

namespace platform {

class SoundProbe
{
public:
    static const BeatEngine &engine(const Sound &sound) { return *sound.engine_; }
    static OutputManager &outputs(Sound &sound) { return sound.outputs_; }
    static ClipLoader &clips(Sound &sound) { return sound.clips_; }
};

} // namespace platform
