// Replays a trace of an output stream's requests (from cadrel_trace_requests) through the
// placement the program uses: beats every PERIOD_MS from 2 s into the trace, each asked for
// 1 ms after its due time. Prints how the clicks land: late ones, grids laid again, the
// dropouts and jumps, and how many frames apart consecutive clicks lie.
//
//   cadrel_replay_clock TRACE [PERIOD_MS]
#include "trace_replay.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TRACE [PERIOD_MS]\n", argv[0]);
        return 2;
    }
    const double periodMs = argc > 2 ? std::atof(argv[2]) : 250.0;
    const cadrel_test::Trace trace = cadrel_test::readTrace(argv[1]);
    if (trace.requests.empty()) {
        std::fprintf(stderr, "not a trace: %s\n", argv[1]);
        return 1;
    }
    const cadrel_test::Replay r = cadrel_test::replay(trace, periodMs, 2.0, 1.0);
    int late = 0;
    for (const auto &click : r.clicks)
        late += click.late;
    std::printf("%zu clicks, %d late; grid laid %d, again for straying %d; rate %.4f\n",
                r.clicks.size(), late, r.grid.laid, r.grid.reanchored, r.grid.rate);
    std::printf("%zu dropouts, %d jumps of the sound taken over (%d of the requests); last offset "
                "%.1f frames\n",
                r.dropouts.size(), r.clockSteps, r.requestJumps, r.grid.offset);
    std::map<std::int64_t, int> histogram;
    for (const std::int64_t interval : r.cleanIntervals())
        ++histogram[interval];
    std::printf("clean intervals (frames: count):");
    for (const auto &[frames, count] : histogram)
        std::printf(" %lld: %d", static_cast<long long>(frames), count);
    std::printf("\nall intervals:");
    for (std::size_t k = 1; k < r.clicks.size(); ++k) {
        const std::int64_t d = r.clicks[k].onset - r.clicks[k - 1].onset;
        const double ideal = periodMs / 1000.0 * trace.rate;
        if (std::llabs(d - std::llround(ideal)) > 1)
            std::printf(" [%zu: %lld%s%s]", k, static_cast<long long>(d),
                        r.clicks[k].late ? " late" : "", r.clicks[k].laid ? " laid" : "");
    }
    std::printf("\n");
    return 0;
}
