#include "platform/sound/click_grid.h"

#include <algorithm>
#include <cmath>

namespace platform {

ClickGrid::ClickGrid(Settings settings) : settings_(settings), rate_(settings.nominalRate)
{
    stats_.rate = rate_;
}

std::optional<std::int64_t> ClickGrid::place(const core::BeatTime &beat,
                                             const FrameClock::Mapping &mapping,
                                             std::chrono::nanoseconds ahead, std::uint64_t stream,
                                             const MeasuredRate &measured)
{
    if (!mapping.valid)
        return std::nullopt;
    const auto at = beat.due() + ahead;
    const std::int64_t atNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
    return placeOn(beat, mapping.frameAt(atNs), stream, measured);
}

std::optional<std::int64_t> ClickGrid::placeOn(const core::BeatTime &beat, double mapped,
                                               std::uint64_t stream, const MeasuredRate &measured)
{
    if (!laid_ || !beat.sameRun(run_) || stream != stream_ || beat.index <= run_.index) {
        lay(beat, mapped, stream);
        ++stats_.laid;
        return std::llround(firstFrame_);
    }
    const double frame = firstFrame_ + double(beat.index - run_.index) * framesPerBeat_;
    stats_.offset = frame - mapped;
    if (std::abs(stats_.offset) > settings_.boundFrames) {
        lay(beat, mapped, stream);
        ++stats_.reanchored;
        if (stats_.relaid.size() < 64)
            stats_.relaid.push_back(std::llround(firstFrame_));
        return std::llround(firstFrame_);
    }
    // From this beat on the grid counts with the rate as now measured; this beat stays put.
    reconsiderRate(beat, measured);
    if (framesPerBeat_ != beat.period.count() * 1e-9 * rate_) {
        firstFrame_ = frame;
        run_.index = beat.index;
        framesPerBeat_ = beat.period.count() * 1e-9 * rate_;
    }
    return std::llround(frame);
}

void ClickGrid::lay(const core::BeatTime &beat, double frame, std::uint64_t stream)
{
    laid_ = true;
    run_ = beat;
    stream_ = stream;
    firstFrame_ = frame;
    framesPerBeat_ = beat.period.count() * 1e-9 * rate_;
    stats_.offset = 0;
}

// Until there is a measurement over a long enough span the rate is looked at on every beat;
// from then on, every rateCheckSeconds.
void ClickGrid::reconsiderRate(const core::BeatTime &beat, const MeasuredRate &measured)
{
    const auto due = beat.due();
    if (rateMeasured_ &&
        due - rateChecked_ < std::chrono::duration<double>(settings_.rateCheckSeconds))
        return;
    if (measured.framesPerSecond <= 0 || measured.spanSeconds < settings_.rateSpanSeconds)
        return;
    rateChecked_ = due;
    rateMeasured_ = true;
    const double doubt =
        std::max(settings_.rateDoubt * measured.standardError, settings_.rateTolerance * rate_);
    const double off = measured.framesPerSecond - rate_;
    if (std::abs(off) <= doubt)
        return;
    const double most = settings_.rateStep * rate_;
    rate_ = rateAdopted_ ? rate_ + std::clamp(off, -most, most) : measured.framesPerSecond;
    rateAdopted_ = true;
    stats_.rate = rate_;
}

} // namespace platform
