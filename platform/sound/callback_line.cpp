#include "platform/sound/callback_line.h"

#include <algorithm>
#include <cmath>

namespace platform {

void CallbackLine::add(std::int64_t frame, double seconds)
{
    frames_[std::size_t(next_)] = frame;
    seconds_[std::size_t(next_)] = seconds;
    next_ = (next_ + 1) % kCapacity;
    if (size_ < kCapacity)
        ++size_;
    ++addsSinceFit_;
}

double CallbackLine::span() const
{
    if (size_ < 2)
        return 0;
    const int newest = (next_ + kCapacity - 1) % kCapacity;
    return seconds_[std::size_t(newest)] - seconds_[std::size_t(oldest())];
}

void CallbackLine::startAgain(double minSpan)
{
    const double spans = span();
    if (size_ >= 3 && spans >= minSpan && spans > kept_.span)
        kept_ = {slope(), spans};
    size_ = 0;
    next_ = 0;
    slope_ = {};
    addsSinceFit_ = 0;
}

CallbackLine::Measurement CallbackLine::measurement(double minSpan)
{
    const double spans = span();
    if (size_ >= 3 && spans >= minSpan && spans >= 0.9 * kept_.span)
        return {slope(), spans};
    return kept_;
}

CallbackLine::Slope CallbackLine::slope()
{
    // Moving every time by the same amount (a jump) leaves the slope as it was.
    if (slope_.secondsPerFrame == 0 || addsSinceFit_ >= kRefitAdds) {
        slope_ = fit();
        addsSinceFit_ = 0;
    }
    return slope_;
}

CallbackLine::Slope CallbackLine::fit() const
{
    if (size_ < 3)
        return {};
    // Two passes over frames counted from the oldest, so that nothing large is subtracted.
    const std::int64_t base = frames_[std::size_t(oldest())];
    double meanX = 0, meanY = 0;
    for (int i = 0; i < size_; ++i) {
        meanX += double(frames_[std::size_t(i)] - base);
        meanY += seconds_[std::size_t(i)];
    }
    meanX /= size_;
    meanY /= size_;
    double sxx = 0, sxy = 0, syy = 0;
    for (int i = 0; i < size_; ++i) {
        const double dx = double(frames_[std::size_t(i)] - base) - meanX;
        const double dy = seconds_[std::size_t(i)] - meanY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    if (sxx <= 0)
        return {};
    const double slope = sxy / sxx;
    const double residuals = std::max(0.0, syy - slope * sxy);
    return {slope, std::sqrt(residuals / (size_ - 2) / sxx)};
}

} // namespace platform
