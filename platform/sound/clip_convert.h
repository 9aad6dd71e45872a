#pragma once

#include "platform/sound/wave_decoder.h"

namespace platform {

// Converts a decoded clip to the output's rate and channel count, once, before it is played.
// Rates are converted by linear interpolation, with source frame 0 landing on output frame 0
// so that a click's attack stays on the frame it is scheduled for. Mono feeds every output
// channel; stereo feeds the first two (or is averaged for a mono output).
PcmClip convertClip(const PcmClip &clip, int rate, int channels);

// The sound played when the requested file is missing or cannot be decoded: a short, soft
// sine beep with smooth ends, plainly different from a wooden click.
PcmClip makeDefaultBeep(int rate, int channels);

} // namespace platform
