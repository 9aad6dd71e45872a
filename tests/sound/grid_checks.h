#pragma once

// What the beat engine's replays are held against: clicks on one grid of frames, and each beat
// said when its click is heard.
#include "stream_replay.h"

#include <cmath>
#include <QTest>
#include <string>

namespace cadrel_test {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kS = 1'000'000'000;

inline Trace recorded(const char *name)
{
    return readTrace(std::string(CADREL_TRACE_DIR) + "/" + name);
}

inline double framesOf(double periodMs)
{
    return periodMs * 48.0;
}

// Every click of a run lies its beat's number of exact periods after the run's first, to
// within the one rounding to a whole frame.
inline void expectOnGrid(const std::vector<std::int64_t> &onsets, double periodFrames)
{
    for (std::size_t k = 1; k < onsets.size(); ++k) {
        const double off = double(onsets[k] - onsets[0]) - double(k) * periodFrames;
        QVERIFY2(std::abs(off) < 1.0,
                 qPrintable(QStringLiteral("click %1 is %2 frames off its grid").arg(k).arg(off)));
    }
}

// Each beat is said when its click is heard, by the stream's word when it was written, to
// within `slackNs` (what the stream says jitters), but for `outliers` of them.
inline void expectShownWhenHeard(const Replay &r, std::int64_t slackNs, int outliers = 0)
{
    QCOMPARE(r.shownAtNs.size(), r.onsets.size());
    for (std::size_t k = 0; k < r.onsets.size(); ++k) {
        const std::int64_t late = r.shownAtNs[k] - r.heardAt(r.onsets[k]);
        if (std::abs(late) > slackNs && outliers-- > 0)
            continue;
        QVERIFY2(std::abs(late) <= slackNs,
                 qPrintable(QStringLiteral("beat %1 shown %2 ms from its click")
                                .arg(k + 1)
                                .arg(double(late) / kMs)));
    }
}

} // namespace cadrel_test
