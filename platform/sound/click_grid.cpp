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

void ClickGrid::reconsiderRate(const core::BeatTime &beat, const MeasuredRate &measured)
{
    const auto due = beat.due();
    if (due - rateChecked_ < std::chrono::duration<double>(settings_.rateCheckSeconds))
        return;
    rateChecked_ = due;
    if (measured.framesPerSecond <= 0)
        return;
    const double doubt =
        std::max(settings_.rateDoubt * measured.standardError, settings_.rateTolerance * rate_);
    if (std::abs(measured.framesPerSecond - rate_) > doubt) {
        rate_ = measured.framesPerSecond;
        stats_.rate = rate_;
    }
}

} // namespace platform
