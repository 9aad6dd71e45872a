#pragma once

#include "platform/sound/pcm_clip.h"

namespace platform {

// The sound played when the requested file is missing or cannot be decoded: a short, soft
// sine beep with smooth ends, plainly different from a wooden click.
PcmClip makeDefaultBeep(int rate, int channels);

} // namespace platform
