// The beat through what changes under it, replayed offline: the server playing silence for a
// while, and the beat moving from one output to another (the stand-in to a server that opened,
// a server back after a pause), each click on the grid and each beat said when it is heard.
#include "grid_checks.h"

#include <QTest>

using cadrel_test::Action;
using namespace cadrel_test;

class TestBeatChanges : public QObject
{
    Q_OBJECT

private slots:
    // The server plays 30 ms of silence in the stream's place: every later frame, click and
    // picture moves by the gap, and the clicks stay exactly one period apart in the stream.
    void silenceFromTheServerMovesClicksAndPicturesTogether()
    {
        const Trace trace = cadrel_test::steadyTrace(512, 6, 90 * kMs);
        const Replay r =
            cadrel_test::replay(trace, {{kS, Action::Start, 250}, {5 * kS, Action::Stop, 0}}, true,
                                2 * kS + 100 * kMs, 30 * kMs);
        QCOMPARE(r.stats.dropouts, std::int64_t(1));
        expectOnGrid(r.onsets, framesOf(250));
        expectShownWhenHeard(r, kMs);
        QCOMPARE(r.shownAtNs[4] - r.shownAtNs[3], 280 * kMs);
        QCOMPARE(r.shownAtNs[5] - r.shownAtNs[4], 250 * kMs);
    }

    void anotherOutputTakesTheBeatOver_data()
    {
        QTest::addColumn<std::int64_t>("switchAt");
        QTest::addColumn<bool>("ranDry");
        QTest::addColumn<std::int64_t>("guessedFor");
        // The stand-in gives way to a server that has just opened.
        QTest::newRow("between beats") << kS + 100 * kMs << false << std::int64_t(0);
        // The output in use said it ran dry before a beat it holds, then stalled: that beat is
        // heard at the time it was given.
        QTest::newRow("after running dry") << kS - 20 * kMs << true << std::int64_t(0);
        // The new output's device has yet to start: for its first 300 ms it guesses, 90 ms early,
        // when its frames are heard (a PulseAudio stream that has just opened does so).
        QTest::newRow("its first times guessed") << kS + 100 * kMs << false << 300 * kMs;
    }

    // The beat moves from one output to another: the beats keep their times as heard, none twice
    // and none lost, and the clicks in the new stream lie on one grid.
    void anotherOutputTakesTheBeatOver()
    {
        QFETCH(std::int64_t, switchAt);
        QFETCH(bool, ranDry);
        QFETCH(std::int64_t, guessedFor);
        platform::BeatEngine engine;
        auto click = std::make_shared<platform::PcmClip>();
        click->rate = 48000;
        click->channels = 2;
        click->samples.assign(96, 1.0f);
        engine.setClip(click);
        engine.use(0, true);
        std::vector<float> buffer(2 * 480);
        std::vector<std::int64_t> shown;
        std::int64_t first[2] = {0, 1000}; // each output counts its own frames
        engine.start(0, 250);
        for (std::int64_t t = 0; t < 3 * kS; t += kMs / 4) {
            if (t == switchAt) {
                if (ranDry)
                    engine.ranDry(0, first[0] - 2400); // 50 ms before the end of what it holds
                engine.use(1, true);
            }
            if (t % (10 * kMs) == 0) {
                // The first writes 50 ms ahead, the second 93 ms; one that ran dry writes no more.
                if (!ranDry || t < switchAt) {
                    engine.fill(0, buffer.data(), 480, first[0], t + 50 * kMs, true);
                    first[0] += 480;
                }
                const bool guessed = t >= switchAt && t < switchAt + guessedFor;
                engine.fill(1, buffer.data(), 480, first[1], t + (guessed ? 3 : 93) * kMs,
                            !guessed);
                first[1] += 480;
            }
            for (int n = engine.takeHeard(t); n > 0; --n)
                shown.push_back(t);
        }
        QCOMPARE(engine.inUse(), 1);
        QCOMPARE(shown.size(), std::size_t(11));
        for (std::size_t k = 0; k < shown.size(); ++k)
            QVERIFY2(std::abs(shown[k] - std::int64_t(k + 1) * 250 * kMs) <= kMs / 4,
                     qPrintable(QString::number(double(shown[k]) / kMs)));
        const auto onsets = engine.stats().onsets;
        QVERIFY(onsets.size() >= 7);
        expectOnGrid(onsets, framesOf(250));
    }

    // A stream may only rest (a PulseAudio stream is corked) once it has the beat: it takes the
    // beat over by the times its device tells playing, which a resting one never tells.
    void anOutputPlaysOnUntilItHasTheBeat()
    {
        platform::BeatEngine engine;
        std::vector<float> buffer(2 * 480);
        engine.use(0, true);
        engine.fill(0, buffer.data(), 480, 0, 50 * kMs, true);
        engine.use(1, true);
        QVERIFY(engine.idle(0, kS));
        QVERIFY(!engine.idle(1, kS));
        engine.fill(1, buffer.data(), 480, 0, kS + 40 * kMs, false); // its device yet to start
        QCOMPARE(engine.inUse(), 0);
        QVERIFY(!engine.idle(1, kS));
        engine.fill(1, buffer.data(), 480, 480, kS + 50 * kMs, true);
        QCOMPARE(engine.inUse(), 1);
        QVERIFY(engine.idle(1, kS + 60 * kMs));
    }
};

QTEST_APPLESS_MAIN(TestBeatChanges)
#include "tst_beat_changes.moc"
