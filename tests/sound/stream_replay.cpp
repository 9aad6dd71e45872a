#include "stream_replay.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace cadrel_test {
namespace {

// Monotonic times in a replay start here, far from zero as on a running machine.
constexpr std::int64_t kBase = 1'000'000'000'000;
constexpr std::int64_t kStepNs = 250'000;
constexpr int kChannels = 2;

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
        } else if (line == "dropout") {
            trace.requests.push_back({at, 0, 0, true});
        } else if (!line.empty() && line[0] != '#') {
            std::istringstream fields(line);
            int frames = 0, settled = 1;
            std::int64_t sincePrevious = 0, heardAfter = -1;
            if (!(fields >> frames >> sincePrevious) || frames <= 0)
                return {};
            at += sincePrevious;
            if (!(fields >> heardAfter))
                heardAfter = heardAsADevice(trace, at, leadNs);
            else if (!(fields >> settled))
                settled = 1;
            trace.requests.push_back({at, frames, heardAfter, heardAfter >= 0, settled != 0});
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
            if (next.frames > 0 && next.told) {
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
    Trace trace{"steady", rate, {}};
    const double cycleNs = 1e9 * frames / rate;
    for (int k = 0; k * cycleNs < seconds * 1e9; ++k)
        trace.requests.push_back({std::int64_t(k * cycleNs), frames, leadNs, true});
    return trace;
}

Replay replay(const Trace &trace, const std::vector<Action> &actions, bool rewrites,
              std::int64_t gapAtNs, std::int64_t extraGapNs, std::int64_t heldNs,
              std::int64_t standInAfterNs)
{
    platform::BeatEngine::Settings settings;
    settings.rate = trace.rate;
    settings.channels = kChannels;
    settings.fadeFrames = trace.rate / 1000;
    platform::BeatEngine engine(settings);
    auto click = std::make_shared<platform::PcmClip>();
    click->rate = trace.rate;
    click->channels = kChannels;
    click->samples.assign(std::size_t(kChannels * trace.rate / 1000), 1.0f);
    engine.setClip(click);
    engine.use(1, rewrites);

    Replay out;
    std::vector<float> buffer;
    std::size_t r = 0, a = 0;
    bool gapTaken = gapAtNs < 0;
    // The first frame the server does not hold yet at `now`.
    const auto held = [&](std::int64_t now) {
        const auto end = std::upper_bound(out.heardAtNs.begin(), out.heardAtNs.end(), now + heldNs);
        return std::int64_t(end - out.heardAtNs.begin());
    };
    const auto say = [&](std::int64_t now) {
        for (int n = engine.takeHeard(now); n > 0; --n)
            out.shownAtNs.push_back(now);
    };
    // The stand-in (output 2) writes 50 ms ahead; its frame f is heard at standInFrom + f.
    constexpr int kStandIn = 2;
    constexpr std::int64_t kLookNs = 100'000'000;
    bool standIn = false, askedSince = false;
    std::int64_t lastAskNs = -1, standInFrom = 0, standInWritten = 0;
    std::vector<float> silent;
    const auto watch = [&](std::int64_t t, std::int64_t now) {
        if (standInAfterNs < 0)
            return;
        if (t % kLookNs == 0) {
            if (standIn && askedSince) {
                engine.use(1, rewrites);
                standIn = false;
            } else if (!standIn && engine.running() && engine.inUse() == 1 && lastAskNs >= 0 &&
                       t - lastAskNs > standInAfterNs) {
                engine.use(kStandIn, true);
                standIn = true;
                askedSince = false;
                standInFrom = now - standInWritten * 1'000'000'000 / trace.rate;
            }
        }
        const std::int64_t due = (now - standInFrom + 50'000'000) * trace.rate / 1'000'000'000;
        if (standIn && due > standInWritten) {
            silent.resize(std::size_t((due - standInWritten) * kChannels));
            engine.fill(kStandIn, silent.data(), int(due - standInWritten), standInWritten,
                        standInFrom + standInWritten * 1'000'000'000 / trace.rate, true);
            standInWritten = due;
        }
    };
    for (std::int64_t t = 0; t <= trace.lengthNs() + 1'000'000'000; t += kStepNs) {
        const std::int64_t now = kBase + t;
        watch(t, now);
        if (!gapTaken && t >= gapAtNs) {
            // The server stalls: what it has not played yet is heard later by the gap.
            gapTaken = true;
            std::int64_t firstUnheard = std::int64_t(out.heardAtNs.size());
            for (std::size_t f = 0; f < out.heardAtNs.size(); ++f) {
                if (out.heardAtNs[f] > now) {
                    firstUnheard = std::min(firstUnheard, std::int64_t(f));
                    out.heardAtNs[f] += extraGapNs;
                }
            }
            engine.ranDry(1, firstUnheard);
        }
        for (; a < actions.size() && actions[a].atNs <= t; ++a) {
            say(now);
            if (heldNs > 0)
                engine.taken(1, held(now), now);
            const Action &act = actions[a];
            int kept = 0;
            if (act.kind == Action::Start)
                kept = engine.start(now, act.periodMs);
            else if (act.kind == Action::Stop)
                kept = engine.stop(now);
            else
                engine.setSoundOn(act.kind == Action::SoundOn, now);
            out.shownAtNs.insert(out.shownAtNs.end(), std::size_t(kept), now);
            if (standIn)
                engine.rewrite(kStandIn, silent); // nothing of it is heard
            const int frames = engine.rewrite(1, buffer);
            const std::size_t from = out.heard.size() - std::size_t(frames);
            for (int i = 0; i < frames; ++i) {
                if (out.heardAtNs[from + std::size_t(i)] <= now)
                    ++out.unheardRewrites;
                else if (out.heardAtNs[from + std::size_t(i)] > now + heldNs)
                    out.heard[from + std::size_t(i)] = buffer[std::size_t(i) * kChannels];
            }
            out.rewrittenFrames += frames;
        }
        for (; r < trace.requests.size() && trace.requests[r].atNs <= t; ++r) {
            const Trace::Request &request = trace.requests[r];
            lastAskNs = request.atNs;
            askedSince = true;
            if (request.frames == 0) {
                engine.ranDry(1, -1);
                continue;
            }
            std::int64_t heard = kBase + request.atNs + request.heardAfterNs;
            if (gapAtNs >= 0 && request.atNs >= gapAtNs)
                heard += extraGapNs;
            buffer.resize(std::size_t(request.frames * kChannels));
            const auto first = std::int64_t(out.heard.size());
            engine.fill(1, buffer.data(), request.frames, first, request.told ? heard : -1,
                        request.settled);
            for (int i = 0; i < request.frames; ++i) {
                out.heard.push_back(buffer[std::size_t(i) * kChannels]);
                out.heardAtNs.push_back(heard + std::int64_t(i) * 1'000'000'000 / trace.rate);
            }
        }
        say(now);
    }
    for (std::size_t f = 0; f < out.heard.size(); ++f)
        if (out.heard[f] > 0.5f && (f == 0 || out.heard[f - 1] <= 0.5f))
            out.onsets.push_back(std::int64_t(f));
    out.stats = engine.stats();
    return out;
}

} // namespace cadrel_test
