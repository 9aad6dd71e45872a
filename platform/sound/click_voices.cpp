#include "platform/sound/click_voices.h"

#include <algorithm>

namespace platform {

ClickVoices::ClickVoices(int channels, int fadeFrames)
    : channels_(channels), fadeFrames_(std::max(1, fadeFrames))
{
    voices_.reserve(16);
}

void ClickVoices::add(std::shared_ptr<const PcmClip> clip, std::int64_t onset)
{
    if (!clip || clip->frames() == 0 || clip->channels != channels_)
        return;
    if (!voices_.empty() && onset < voices_.back().onset)
        onset = voices_.back().onset;
    voices_.push_back(Voice{std::move(clip), onset});
    silentFrom_ = std::max(silentFrom_, end(voices_.size() - 1));
}

std::optional<std::int64_t> ClickVoices::takeBackFrom(std::int64_t frame)
{
    const auto first = std::find_if(voices_.begin(), voices_.end(),
                                    [frame](const Voice &v) { return v.onset >= frame; });
    if (first == voices_.end())
        return std::nullopt;
    const std::int64_t onset = first->onset;
    voices_.erase(first, voices_.end());
    silentFrom_ = voices_.empty() ? 0 : end(voices_.size() - 1);
    return onset;
}

// A clip ends with its last frame, or one fade after the next clip starts.
std::int64_t ClickVoices::end(std::size_t i) const
{
    const Voice &v = voices_[i];
    std::int64_t last = v.onset + std::int64_t(v.clip->frames());
    if (i + 1 < voices_.size())
        last = std::min(last, voices_[i + 1].onset + fadeFrames_);
    return last;
}

void ClickVoices::render(float *out, int frames, std::int64_t start) const
{
    std::fill(out, out + std::int64_t(frames) * channels_, 0.0f);
    const std::int64_t stop = start + frames;
    for (std::size_t i = 0; i < voices_.size(); ++i) {
        const Voice &v = voices_[i];
        const std::int64_t from = std::max(start, v.onset), to = std::min(stop, end(i));
        const std::int64_t cut = i + 1 < voices_.size() ? voices_[i + 1].onset : to;
        const float *samples = v.clip->samples.data();
        for (std::int64_t f = from; f < to; ++f) {
            const float gain = f < cut ? 1.0f : 1.0f - float(f - cut + 1) / float(fadeFrames_ + 1);
            const float *in = samples + (f - v.onset) * channels_;
            float *o = out + (f - start) * channels_;
            for (int c = 0; c < channels_; ++c)
                o[c] += gain * in[c];
        }
    }
}

void ClickVoices::clear()
{
    voices_.clear();
    silentFrom_ = 0;
}

void ClickVoices::forgetEndedBy(std::int64_t frame)
{
    while (!voices_.empty() && end(0) <= frame)
        voices_.erase(voices_.begin());
}

std::int64_t ClickVoices::silentFrom() const
{
    return silentFrom_;
}

std::vector<std::int64_t> ClickVoices::onsets() const
{
    std::vector<std::int64_t> out;
    for (const Voice &v : voices_)
        out.push_back(v.onset);
    return out;
}

} // namespace platform
