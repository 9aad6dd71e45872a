// The beat through what changes under it, replayed offline: the server playing silence for a
// while, and the beat moving from one output to another (the stand-in to a server that opened,
// a server back after a pause), each click on the grid and each beat said when it is heard; and
// outages recorded from real servers (a sink suspended, a server killed or started late).
#include "grid_checks.h"

#include <cmath>
#include <QTest>
#include <vector>

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

    void rejoinsTheBeatAfterAnOutage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("pressS");
        QTest::addColumn<int>("stretches");   // of clicks heard, the outages between them
        QTest::addColumn<int>("silentBeats"); // at least, shown while nothing could be heard
        // The sink asked for nothing for 2 s. The stand-in has the beat meanwhile, once the
        // output manager has told the pause (0.4 s).
        QTest::newRow("PulseAudio, sink suspended") << "pulseaudio-suspended.txt" << 2.0 << 2 << 6;
        // The stream was lost twice, and a new one opened once the server answered again.
        QTest::newRow("PulseAudio, server killed and started again twice")
            << "pulseaudio-killed.txt" << 3.0 << 3 << 8;
        QTest::newRow("PipeWire, server killed and started again twice")
            << "pipewire-killed.txt" << 3.0 << 3 << 8;
        // Nothing answered at launch: the stand-in had the beat from the press on.
        QTest::newRow("PulseAudio, started 8 s after launch")
            << "pulseaudio-started-late.txt" << 1.0 << 1 << 20;
        QTest::newRow("PipeWire, started 8 s after launch")
            << "pipewire-started-late.txt" << 1.0 << 1 << 20;
    }

    // While the output cannot play, the beat goes on silently, shown at its times; then the
    // clicks come back at their times on the grid of the press, none late or twice.
    void rejoinsTheBeatAfterAnOutage()
    {
        QFETCH(QString, file);
        QFETCH(double, pressS);
        QFETCH(int, stretches);
        QFETCH(int, silentBeats);
        const Trace trace = recorded(file.toUtf8().constData());
        QVERIFY2(!trace.requests.empty(), "the trace cannot be read");
        const auto press = std::int64_t(pressS * kS);
        const std::int64_t period = 250 * kMs, base = 1'000'000'000'000;
        const Replay r = cadrel_test::replay(
            trace, {{press, Action::Start, 250}, {trace.lengthNs() - kS, Action::Stop, 0}}, true,
            -1, 0, 0, 400 * kMs);
        // The beat nearest to a moment, and how far the moment is from that beat's time.
        const auto beatAt = [&](std::int64_t ns) {
            return (ns - base - press + period / 2) / period;
        };
        const auto offBeat = [&](std::int64_t ns) {
            return std::abs(ns - base - press - beatAt(ns) * period);
        };
        std::vector<std::vector<std::int64_t>> heard;
        std::int64_t previous = 0;
        for (const std::int64_t onset : r.onsets) {
            const std::int64_t beat = beatAt(r.heardAt(onset));
            QVERIFY2(offBeat(r.heardAt(onset)) < 2 * kMs,
                     qPrintable(QStringLiteral("click of beat %1 heard %2 ms off its time")
                                    .arg(beat)
                                    .arg(offBeat(r.heardAt(onset)) / 1e6)));
            QVERIFY(beat > previous);
            if (heard.empty() || beat > previous + 1)
                heard.emplace_back();
            heard.back().push_back(onset);
            previous = beat;
        }
        QCOMPARE(int(heard.size()), stretches);
        for (const auto &stretch : heard)
            expectOnGrid(stretch, framesOf(250));
        // Every beat up to the last is shown once, at its time, heard or not; but one that fell
        // due before the stand-in had the beat (it takes 0.4 s to tell a stall) is missed.
        QVERIFY(r.stats.missed <= stretches - 1);
        QCOMPARE(std::int64_t(r.shownAtNs.size()) + r.stats.missed, previous);
        for (const std::int64_t shown : r.shownAtNs)
            QVERIFY2(
                offBeat(shown) < 2 * kMs,
                qPrintable(QStringLiteral("a beat shown %1 ms off").arg(offBeat(shown) / 1e6)));
        QVERIFY(previous - std::int64_t(r.onsets.size()) >= silentBeats);
    }
};

QTEST_APPLESS_MAIN(TestBeatChanges)
#include "tst_beat_changes.moc"
