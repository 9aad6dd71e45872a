#include "platform/sound/click_mixer.h"

#include <algorithm>

namespace platform {

ClickMixer::ClickMixer(RequestQueue &requests, ReturnQueue &returns, int channels, int fadeFrames)
    : requests_(requests), returns_(returns), channels_(channels),
      fadeFrames_(std::max(1, fadeFrames))
{}

void ClickMixer::render(float *out, int frames, std::int64_t start)
{
    std::fill(out, out + std::int64_t(frames) * channels_, 0.0f);
    const std::int64_t end = start + frames;
    std::int64_t pos = start;
    for (;;) {
        const ClickRequest *request = requests_.front();
        std::int64_t onset = end;
        if (request != nullptr) {
            if (request->serial != lastSeen_ && request->onsetFrame != kAsap) {
                lastSeen_ = request->serial;
                const std::int64_t lead = request->onsetFrame - start;
                if (lead < minLead_.load(std::memory_order_relaxed))
                    minLead_.store(lead, std::memory_order_relaxed);
            }
            if (request->onsetFrame == kAsap) {
                onset = pos;
            } else if (request->onsetFrame < pos) {
                late_.fetch_add(1, std::memory_order_relaxed);
                onset = pos;
            } else {
                onset = std::min(request->onsetFrame, end);
            }
        }
        mix(fading_, out, pos, onset, start);
        mix(current_, out, pos, onset, start);
        pos = onset;
        if (request == nullptr || onset == end)
            return;

        // The new clip starts here; the one still sounding fades out from this same frame.
        release(fading_);
        if (current_.clip != nullptr) {
            fading_ = current_;
            fading_.fading = true;
            fading_.fadeStart = pos;
            cut_.fetch_add(1, std::memory_order_relaxed);
        }
        current_ = Voice{request->clip, pos, 0, false};
        started_.fetch_add(1, std::memory_order_relaxed);
        onsets_.note(pos);
        requests_.pop();
    }
}

void ClickMixer::mix(Voice &voice, float *out, std::int64_t from, std::int64_t to,
                     std::int64_t bufferStart)
{
    if (voice.clip == nullptr || from >= to)
        return;
    const PcmClip &clip = **voice.clip;
    const auto length = std::int64_t(clip.frames());
    std::int64_t stop = std::min(to, voice.start + length);
    if (voice.fading)
        stop = std::min(stop, voice.fadeStart + fadeFrames_);
    for (std::int64_t f = from; f < stop; ++f) {
        const float gain =
            voice.fading ? 1.0f - float(f - voice.fadeStart) / float(fadeFrames_) : 1.0f;
        const float *in = &clip.samples[std::size_t(f - voice.start) * channels_];
        float *o = out + (f - bufferStart) * channels_;
        for (int c = 0; c < channels_; ++c)
            o[c] += gain * in[c];
    }
    if (stop < to)
        release(voice);
}

void ClickMixer::release(Voice &voice)
{
    if (voice.clip != nullptr)
        returns_.push(voice.clip); // cannot fail: the queue has room for every clip in flight
    voice = Voice{};
}

void ClickMixer::releaseAll()
{
    release(fading_);
    release(current_);
}

ClickMixer::Stats ClickMixer::stats() const
{
    Stats s;
    s.started = started_.load(std::memory_order_relaxed);
    s.late = late_.load(std::memory_order_relaxed);
    s.cut = cut_.load(std::memory_order_relaxed);
    const std::int64_t lead = minLead_.load(std::memory_order_relaxed);
    s.minLead = lead == std::numeric_limits<std::int64_t>::max() ? 0 : lead;
    return s;
}

} // namespace platform
