#include "stream_replay.h"

#include "platform/sound/sound_settings.h"

#include <algorithm>
#include <map>

namespace cadrel_test {
namespace {

// Monotonic times in a replay start here, far from zero as on a running machine.
constexpr std::int64_t kBase = 1'000'000'000'000;
constexpr std::int64_t kStepNs = 250'000;
constexpr int kChannels = 2;

} // namespace

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
    // The output manager: it makes the trace's moves, and looks at the stream in use (`live`,
    // -1: none) every 100 ms, for a pause.
    constexpr int kStandIn = 0;
    constexpr std::int64_t kLookNs = 100'000'000, kTickNs = 10'000'000, kS = 1'000'000'000;
    int live = trace.moves.empty() ? 1 : -1;
    bool liveRewrites = rewrites, paused = false, askedSince = false;
    std::int64_t lastAskNs = -1;
    std::size_t m = 0;
    engine.use(live < 0 ? kStandIn : live, live < 0 || rewrites);
    const auto manage = [&](std::int64_t t) {
        for (; m < trace.moves.size() && trace.moves[m].atNs <= t; ++m) {
            const Trace::Move &move = trace.moves[m];
            if (!move.opened && move.output != live)
                continue;
            // What a lost stream still held is never heard.
            while (!move.opened && !out.heardAtNs.empty() &&
                   out.heardAtNs.back() > kBase + move.atNs) {
                out.heard.pop_back();
                out.heardAtNs.pop_back();
            }
            live = move.opened ? move.output : -1;
            liveRewrites = move.rewrites;
            engine.use(move.opened ? live : kStandIn, move.opened ? liveRewrites : true);
            paused = false;
            lastAskNs = -1;
        }
        if (standInAfterNs < 0 || live < 0 || t % kLookNs != 0)
            return;
        if (paused && askedSince) {
            engine.use(live, liveRewrites);
            paused = false;
        } else if (!paused && engine.running() && engine.inUse() == live && lastAskNs >= 0 &&
                   t - lastAskNs > standInAfterNs) {
            engine.use(kStandIn, true);
            paused = true;
            askedSince = false;
        }
    };
    // The stand-in, as the program's: while the engine wants it, it writes up to its lead ahead
    // of its clock, every 10 ms; each spell of writing starts its clock anew.
    std::int64_t spellFrom = 0, spellBase = 0, standInWritten = 0;
    const std::int64_t lead = platform::SoundSettings().standInLead.count() * trace.rate / 1000;
    std::vector<float> silent;
    const auto standIn = [&](std::int64_t t, std::int64_t now) {
        if (t % kTickNs != 0)
            return;
        if (!engine.wanted(kStandIn) || engine.idle(kStandIn, now)) {
            spellFrom = 0;
            return;
        }
        if (spellFrom == 0) {
            spellFrom = now;
            spellBase = standInWritten;
        }
        const std::int64_t due = spellBase + (now - spellFrom) * trace.rate / kS + lead;
        if (due <= standInWritten)
            return;
        silent.resize(std::size_t((due - standInWritten) * kChannels));
        engine.fill(kStandIn, silent.data(), int(due - standInWritten), standInWritten,
                    spellFrom + (standInWritten - spellBase) * kS / trace.rate, true);
        standInWritten = due;
    };
    std::map<int, std::int64_t> written; // frames of each stream
    for (std::int64_t t = 0; t <= trace.lengthNs() + 1'000'000'000; t += kStepNs) {
        const std::int64_t now = kBase + t;
        manage(t);
        standIn(t, now);
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
            if (engine.wanted(kStandIn))
                engine.rewrite(kStandIn, silent); // nothing of it is heard
            const int frames = live < 0 ? 0 : engine.rewrite(live, buffer);
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
            if (request.output == live && request.frames > 0) {
                lastAskNs = request.atNs;
                askedSince = true;
            }
            if (request.frames == 0) {
                engine.ranDry(request.output, -1);
                continue;
            }
            std::int64_t heard = kBase + request.atNs + request.heardAfterNs;
            if (gapAtNs >= 0 && request.atNs >= gapAtNs)
                heard += extraGapNs;
            buffer.resize(std::size_t(request.frames * kChannels));
            const std::int64_t first = written[request.output];
            written[request.output] += request.frames;
            engine.fill(request.output, buffer.data(), request.frames, first,
                        request.told ? heard : -1, request.settled);
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
