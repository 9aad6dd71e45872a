#pragma once

#include "platform/sound/pcm_clip.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// The clicks written into one output stream, each a clip starting at an output frame. What the
// stream holds over any range of frames follows from this list alone, so a range already
// written can be written again without a click taken back: each clip sounds from its onset to
// its end, or until the next clip starts, where it fades out within `fadeFrames`.
class ClickVoices
{
public:
    ClickVoices(int channels, int fadeFrames);

    // Adds a clip starting at `onset`, no earlier than the last one added.
    void add(std::shared_ptr<const PcmClip> clip, std::int64_t onset);
    // Takes back the clips that start at or after `frame`; the earliest onset taken back, if any.
    std::optional<std::int64_t> takeBackFrom(std::int64_t frame);
    // Writes the `frames` frames from output frame `start` (interleaved, overwriting `out`).
    void render(float *out, int frames, std::int64_t start) const;
    // Forgets every clip, keeping the room for them.
    void clear();
    // Forgets the clips that have ended by `frame`.
    void forgetEndedBy(std::int64_t frame);
    // The frame after the last one with sound in it (0 when nothing was ever added).
    std::int64_t silentFrom() const;
    // The onsets still held, for tests and measurement.
    std::vector<std::int64_t> onsets() const;

private:
    struct Voice {
        std::shared_ptr<const PcmClip> clip;
        std::int64_t onset = 0;
    };
    std::int64_t end(std::size_t i) const;

    int channels_;
    int fadeFrames_;
    std::vector<Voice> voices_; // by onset
    std::int64_t silentFrom_ = 0;
};

} // namespace platform
