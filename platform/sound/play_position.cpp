#include "platform/sound/play_position.h"

#include <algorithm>
#include <cmath>

namespace platform {

std::int64_t frameHeardWhenTold(std::int64_t readFrame, std::int64_t sinkFrames,
                                std::int64_t queuedFrames)
{
    return readFrame - sinkFrames - queuedFrames;
}

void ServerCycle::asked(std::int64_t frames)
{
    if (frames != asked_)
        cycle_ = 0;
    asked_ = frames;
}

// A step that does not divide the request is a cycle cut short (the stream ran dry) or two
// answers' worth: it says nothing of the cycle.
void ServerCycle::read(std::int64_t readFrame)
{
    const std::int64_t step = readFrame - lastRead_;
    if (lastRead_ >= 0 && step > 0 && step < asked_ && asked_ % step == 0)
        cycle_ = cycle_ > 0 ? std::min(cycle_, step) : step;
    lastRead_ = readFrame;
}

PlayPosition::PlayPosition(int rate, double jumpFrames) : rate_(rate), jumpFrames_(jumpFrames) {}

void PlayPosition::forget()
{
    count_ = next_ = 0;
    sum_ = 0;
    still_.reset();
    stillAnswers_ = 0;
}

void PlayPosition::told(std::int64_t heardFrame, std::int64_t atNs, bool playing)
{
    if (!playing) {
        const int still = stillAnswers_;
        forget();
        still_ = double(heardFrame);
        stillAnswers_ = still + 1;
        playing_ = false;
        return;
    }
    stillAnswers_ = 0;
    const double offset = double(heardFrame) - double(atNs) * rate_ / 1e9;
    if (!playing_ || (count_ > 0 && std::abs(offset - sum_ / count_) > jumpFrames_))
        forget();
    playing_ = true;
    if (count_ == kKept)
        sum_ -= offsets_[std::size_t(next_)];
    else
        ++count_;
    offsets_[std::size_t(next_)] = offset;
    sum_ += offset;
    next_ = (next_ + 1) % kKept;
}

std::optional<double> PlayPosition::heardAt(std::int64_t ns) const
{
    if (still_)
        return still_;
    if (count_ == 0)
        return std::nullopt;
    return sum_ / count_ + double(ns) * rate_ / 1e9;
}

bool PlayPosition::settled() const
{
    return (!still_ && count_ >= kSettled) || stillAnswers_ >= kBelievedStill;
}

} // namespace platform
