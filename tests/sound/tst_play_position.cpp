// Where the device is in the stream, from a server's answers that each can be a cycle of its
// graph off: steady within a fraction of a cycle, a jump taken at once, a pause held still.
#include "platform/sound/play_position.h"

#include <cmath>
#include <QTest>

using platform::PlayPosition;
using platform::ServerCycle;

namespace {

constexpr int kRate = 48000;
constexpr std::int64_t kStart = 5'000'000'000'000;

// The frame heard at `ns` by a device that started at kStart, `gapNs` later from `gapAt` on.
double truth(std::int64_t ns, std::int64_t gapAt = -1, std::int64_t gapNs = 0)
{
    if (gapAt >= 0 && ns >= gapAt)
        ns -= gapNs;
    return double(ns - kStart) * kRate / 1e9;
}

// Answers every 10.3 ms, each the read index at the last whole cycle before it.
void answer(PlayPosition &position, int cycle, std::int64_t from, std::int64_t to,
            std::int64_t gapAt = -1, std::int64_t gapNs = 0)
{
    for (std::int64_t ns = from; ns < to; ns += 10'300'000) {
        const double heard = truth(ns, gapAt, gapNs);
        position.told(std::int64_t(std::floor(heard / cycle) * cycle), ns, true);
    }
}

} // namespace

class TestPlayPosition : public QObject
{
    Q_OBJECT

private slots:
    void steadyWithinAFractionOfACycle_data()
    {
        QTest::addColumn<int>("cycle");
        QTest::newRow("PipeWire at 1024 frames") << 1024;
        QTest::newRow("PipeWire at 128 frames") << 128;
        QTest::newRow("a server that tells the frame") << 1;
    }

    void steadyWithinAFractionOfACycle()
    {
        QFETCH(int, cycle);
        PlayPosition position(kRate, 960);
        QVERIFY(!position.heardAt(kStart));
        answer(position, cycle, kStart, kStart + 2'000'000'000);
        const std::int64_t at = kStart + 2'001'000'000;
        // A single answer is up to a cycle behind; the line lies within a fifth of one (and the
        // half cycle the answers are behind on average).
        const double off = *position.heardAt(at) + cycle / 2.0 - truth(at);
        QVERIFY2(std::abs(off) <= std::max(1.0, cycle / 5.0), qPrintable(QString::number(off)));
    }

    void takesAJumpAtOnce()
    {
        PlayPosition position(kRate, 960);
        const std::int64_t gapAt = kStart + 1'000'000'000;
        answer(position, 1, kStart, gapAt + 200'000'000, gapAt, 30'000'000);
        const std::int64_t at = gapAt + 200'000'000;
        QVERIFY(std::abs(*position.heardAt(at) - truth(at, gapAt, 30'000'000)) < 2);
    }

    void holdsStillWhileTheDevicePauses()
    {
        PlayPosition position(kRate, 960);
        answer(position, 1, kStart, kStart + 500'000'000);
        position.told(24000, kStart + 600'000'000, false);
        QCOMPARE(*position.heardAt(kStart + 900'000'000), 24000.0);
        position.told(24000, kStart + 1'000'000'000, true);
        QCOMPARE(*position.heardAt(kStart + 1'500'000'000), 24000.0 + 24000.0);
    }

    void settledOnlyOnAnswersFromAPlayingDevice_data()
    {
        QTest::addColumn<int>("stillAnswers");
        QTest::addColumn<int>("playingAnswers");
        QTest::addColumn<bool>("jumpAtLast");
        QTest::addColumn<bool>("settled");
        QTest::newRow("a device yet to start") << 3 << 0 << false << false;
        QTest::newRow("one that has just started") << 3 << 2 << false << false;
        QTest::newRow("one that has played a while") << 3 << 12 << false << true;
        QTest::newRow("one that has just jumped") << 0 << 12 << true << false;
        QTest::newRow("a server that never says it plays") << 60 << 0 << false << true;
    }

    // Until enough answers from a device that plays lie on one line, the position is a guess.
    void settledOnlyOnAnswersFromAPlayingDevice()
    {
        QFETCH(int, stillAnswers);
        QFETCH(int, playingAnswers);
        QFETCH(bool, jumpAtLast);
        QFETCH(bool, settled);
        PlayPosition position(kRate, 960);
        std::int64_t ns = kStart;
        for (int i = 0; i < stillAnswers; ++i, ns += 10'000'000)
            position.told(0, ns, false);
        for (int i = 0; i < playingAnswers; ++i, ns += 10'000'000)
            position.told(std::int64_t(truth(ns)) - (jumpAtLast && i == playingAnswers - 1) * 2400,
                          ns, true);
        QCOMPARE(position.settled(), settled);
    }

    void cycleFromRequestsAndReadSteps_data()
    {
        QTest::addColumn<int>("cycle");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("cutShortAfter"); // a cycle the stream ran dry in took this much
        QTest::addColumn<int>("expected");
        QTest::newRow("a request a cycle") << 1024 << 1024 << 0 << 1024;
        QTest::newRow("two cycles a request") << 128 << 256 << 0 << 128;
        QTest::newRow("a cycle cut short") << 256 << 256 << 100 << 256;
    }

    // The server asks for `asked` frames every `asked / cycle` cycles; answers come after each
    // request and half-way to the next, each with the read index at the last cycle.
    void cycleFromRequestsAndReadSteps()
    {
        QFETCH(int, cycle);
        QFETCH(int, asked);
        QFETCH(int, cutShortAfter);
        QFETCH(int, expected);
        ServerCycle server;
        server.asked(4800); // the first request fills the whole stream
        QCOMPARE(server.frames(), 4800);
        std::int64_t read = 0;
        for (int request = 0; request < 20; ++request) {
            server.asked(asked);
            server.read(read);
            const int perRequest = asked / cycle;
            server.read(read + std::int64_t(perRequest / 2) * cycle);
            // The last cycle before the next request ran dry, taking what was left.
            read += request == 10 && cutShortAfter > 0 ? asked - cycle + cutShortAfter : asked;
        }
        QCOMPARE(server.frames(), expected);
        server.asked(2 * asked); // a longer cycle: nothing is known of it but its requests yet
        QCOMPARE(server.frames(), 2 * asked);
    }
};

QTEST_APPLESS_MAIN(TestPlayPosition)
#include "tst_play_position.moc"
