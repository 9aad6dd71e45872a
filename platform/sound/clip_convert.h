#pragma once

#include "platform/sound/pcm_clip.h"

namespace platform {

// Converts a decoded clip to the output's rate and channel count, once, before it is played.
//
// Channels: mono feeds every output channel; stereo feeds the first two output channels (the
// others stay silent), or is averaged for a mono output. More than two channels have no
// layout to go by (a wave file's speaker mask is often missing or wrong), so they are averaged
// into one and heard as mono: a click in any one of them is heard, on every output channel.
//
// Rate: libsamplerate's best sinc converter. It has no delay: source frame 0 lands on output
// frame 0, so a click's attack stays on the frame it is scheduled for. A clip of n frames
// gives n * rate / clip.rate frames, give or take one. A rate libsamplerate cannot convert (a ratio
// beyond 256 either way) gives a clip with no frames.
PcmClip convertClip(const PcmClip &clip, int rate, int channels);

} // namespace platform
