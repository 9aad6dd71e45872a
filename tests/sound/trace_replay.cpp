#include "trace_replay.h"

#include <fstream>
#include <sstream>

namespace cadrel_test {

Trace readTrace(const std::string &path)
{
    Trace trace;
    std::ifstream in(path);
    std::string line;
    std::int64_t at = 0;
    while (std::getline(in, line)) {
        if (line.rfind("# output", 0) == 0) {
            std::istringstream header(line);
            std::string hash, output, rate;
            header >> hash >> output >> trace.output >> rate >> trace.rate;
        } else if (line == "dropout") {
            trace.requests.push_back({at, 0});
        } else if (!line.empty() && line[0] != '#') {
            std::istringstream fields(line);
            int frames = 0;
            std::int64_t sincePrevious = 0;
            if (!(fields >> frames >> sincePrevious) || frames <= 0)
                return {};
            at += sincePrevious;
            trace.requests.push_back({at, frames});
        }
    }
    return trace.rate > 0 ? trace : Trace{};
}

std::vector<std::int64_t> Replay::cleanIntervals() const
{
    std::vector<std::int64_t> intervals;
    for (std::size_t k = 1; k < clicks.size(); ++k) {
        const Click &a = clicks[k - 1], &b = clicks[k];
        bool spansDropout = false;
        for (const std::int64_t d : dropouts)
            spansDropout = spansDropout || (d > a.onset && d <= b.onset);
        if (!spansDropout && !a.late && !b.late && !b.laid)
            intervals.push_back(b.onset - a.onset);
    }
    return intervals;
}

Replay replay(const Trace &trace, double periodMs, double firstBeatS, double tickLateMs,
              const platform::SoundBudget &budget)
{
    using namespace std::chrono;
    Replay result;
    platform::FrameClock::Tuning tuning;
    tuning.silenceAnnounced = trace.output == "PulseAudio";
    platform::FrameClock clock(trace.rate, tuning);
    platform::ClickGrid::Settings settings;
    settings.nominalRate = trace.rate;
    settings.boundFrames = budget.gridBound.count() / 1000.0 * trace.rate;
    platform::ClickGrid grid(settings);
    const auto ahead = duration_cast<nanoseconds>(budget.latency - budget.serverLead());
    // The trace's times, on a clock whose epoch lies well before it.
    const std::int64_t epoch = 1'000'000'000'000;
    const core::BeatTime::Clock::time_point origin{
        nanoseconds(epoch) + duration_cast<nanoseconds>(duration<double>(firstBeatS) -
                                                        duration<double, std::milli>(periodMs))};
    std::int64_t written = 0;
    std::size_t next = 0;
    const auto playUntil = [&](std::int64_t ns) {
        for (; next < trace.requests.size() && epoch + trace.requests[next].atNs <= ns; ++next) {
            const Trace::Request &r = trace.requests[next];
            if (r.frames == 0) {
                result.dropouts.push_back(written);
                clock.serverRanDry();
                continue;
            }
            clock.update(written, r.frames, epoch + r.atNs);
            written += r.frames;
        }
    };
    for (std::int64_t k = 1;; ++k) {
        const core::BeatTime beat{origin, core::BeatTime::Period(periodMs * 1e6), k};
        const std::int64_t asked =
            duration_cast<nanoseconds>(beat.due().time_since_epoch()).count() +
            std::int64_t(tickLateMs * 1e6);
        if (asked > epoch + trace.lengthNs())
            break;
        playUntil(asked);
        const int laidBefore = grid.stats().laid + grid.stats().reanchored;
        const auto onset = grid.place(beat, clock.mapping(), ahead, 1, clock.measuredRate());
        Replay::Click click;
        click.laid = grid.stats().laid + grid.stats().reanchored != laidBefore;
        click.late = !onset || *onset < written;
        click.onset = click.late ? written : *onset;
        result.clicks.push_back(click);
    }
    result.clockSteps = clock.heardSteps();
    result.requestJumps = clock.steps();
    result.grid = grid.stats();
    return result;
}

} // namespace cadrel_test
