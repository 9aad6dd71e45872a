// The request traces cadrel_trace_requests records, read for the replays; and steady ones, made
// up for them.
#include "stream_replay.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace cadrel_test {
namespace {

// A device plays the stream's frames one after another at its rate, the first `leadNs` after the
// first request; a request that comes after its frames were due is heard `leadNs` after it, the
// server having played silence meanwhile.
std::int64_t heardAsADevice(const Trace &trace, std::int64_t atNs, std::int64_t leadNs)
{
    if (trace.requests.empty())
        return leadNs;
    const auto &last = trace.requests.back();
    const std::int64_t heard =
        last.atNs + last.heardAfterNs + std::int64_t(last.frames) * 1'000'000'000 / trace.rate;
    return std::max(heard, atNs + leadNs / 4) - atNs;
}

} // namespace

Trace readTrace(const std::string &path, std::int64_t leadNs)
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
        } else if (!line.empty() && line[0] != '#' && line != "begin") {
            std::istringstream fields(line);
            std::string first;
            fields >> first;
            int output = 1, number = 0;
            std::int64_t sincePrevious = 0;
            if (first == "dropout") {
                if (fields >> number)
                    output = number;
                trace.requests.push_back({at, 0, 0, true, true, output});
            } else if (first == "opened" || first == "lost") {
                int rewrites = 0;
                if (!(fields >> output >> sincePrevious) ||
                    (first == "opened" && !(fields >> rewrites)))
                    return {};
                at += sincePrevious;
                trace.moves.push_back({at, output, first == "opened", rewrites != 0});
            } else {
                int settled = 1;
                std::int64_t heardAfter = -1;
                const int frames = std::atoi(first.c_str());
                if (!(fields >> sincePrevious) || frames <= 0)
                    return {};
                at += sincePrevious;
                if (!(fields >> heardAfter))
                    heardAfter = heardAsADevice(trace, at, leadNs);
                else if (!(fields >> settled))
                    settled = 1;
                else if (fields >> number)
                    output = number;
                trace.requests.push_back(
                    {at, frames, heardAfter, heardAfter >= 0, settled != 0, output});
            }
        }
    }
    // A piece the stream could not time is heard just before the next one it did.
    for (std::size_t i = trace.requests.size(); i-- > 0;) {
        auto &r = trace.requests[i];
        if (r.told || r.frames == 0)
            continue;
        std::int64_t after = leadNs;
        for (std::size_t j = i + 1; j < trace.requests.size(); ++j) {
            const auto &next = trace.requests[j];
            if (next.frames > 0 && next.told && next.output == r.output) {
                after = next.atNs + next.heardAfterNs -
                        std::int64_t(r.frames) * 1'000'000'000 / trace.rate - r.atNs;
                break;
            }
        }
        r.heardAfterNs = after;
    }
    return trace.rate > 0 ? trace : Trace{};
}

Trace steadyTrace(int frames, double seconds, std::int64_t leadNs, int rate)
{
    Trace trace;
    trace.output = "steady";
    trace.rate = rate;
    const double cycleNs = 1e9 * frames / rate;
    for (int k = 0; k * cycleNs < seconds * 1e9; ++k)
        trace.requests.push_back({std::int64_t(k * cycleNs), frames, leadNs, true});
    return trace;
}

} // namespace cadrel_test
