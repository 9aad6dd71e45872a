#pragma once

#include "platform/sound/frame_log.h"
#include "platform/sound/spsc_queue.h"
#include "platform/sound/wave_decoder.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>

namespace platform {

// One request from the user-interface thread: which clip, and the output frame of its onset.
struct ClickRequest {
    // The clip stays alive through this heap-held reference until the mixer hands it back on
    // the return queue; the mixer never frees anything itself.
    std::shared_ptr<const PcmClip> *clip = nullptr;
    std::int64_t onsetFrame = 0; // kAsap: at the first frame not yet written
    std::uint64_t serial = 0;    // counts requests, so the mixer notices each one once
};

constexpr std::int64_t kAsap = std::numeric_limits<std::int64_t>::min();

using RequestQueue = SpscQueue<ClickRequest, 64>;
// Room for every request in flight plus the two voices, so the mixer can always hand back.
using ReturnQueue = SpscQueue<std::shared_ptr<const PcmClip> *, 128>;

// The audio callback's half of the click facility: starts each requested clip on its exact
// frame, cuts the clip still sounding with a short fade at that same frame, and hands every
// clip it has finished with back to the user-interface thread. Takes no lock, allocates nothing.
class ClickMixer
{
public:
    ClickMixer(RequestQueue &requests, ReturnQueue &returns, int channels, int fadeFrames);

    // Writes the buffer of `frames` frames that starts at output frame `start`.
    void render(float *out, int frames, std::int64_t start);

    // Hands back the clips still sounding. Only while no callback runs.
    void releaseAll();

    struct Stats {
        std::int64_t started = 0; // clips started
        std::int64_t late = 0;    // timed requests whose onset frame was already written
        std::int64_t cut = 0;     // clips cut short by the next one
        std::int64_t minLead = 0; // fewest frames between a timed onset and the buffer that
                                  // first saw it (how close a request came to being late)
    };
    Stats stats() const;
    // The frames at which clicks started, for measurement.
    std::vector<std::int64_t> onsets() const { return onsets_.frames(); }

private:
    struct Voice {
        std::shared_ptr<const PcmClip> *clip = nullptr;
        std::int64_t start = 0;     // output frame of the clip's first frame
        std::int64_t fadeStart = 0; // output frame where a cut voice starts fading
        bool fading = false;
    };

    void mix(Voice &voice, float *out, std::int64_t from, std::int64_t to,
             std::int64_t bufferStart);
    void release(Voice &voice);

    RequestQueue &requests_;
    ReturnQueue &returns_;
    int channels_;
    int fadeFrames_;
    Voice current_;
    Voice fading_;
    std::uint64_t lastSeen_ = 0;

    std::atomic<std::int64_t> started_{0};
    std::atomic<std::int64_t> late_{0};
    std::atomic<std::int64_t> cut_{0};
    std::atomic<std::int64_t> minLead_{std::numeric_limits<std::int64_t>::max()};
    FrameLog<4096> onsets_;
};

} // namespace platform
