// The beat as the stream keeps it, replayed offline on the requests of real servers and on
// steady ones: every click on its exact frame, each beat said when it is heard, and nothing
// heard after a stop or from the grid a tempo change left.
#include "core/tempo_rules.h"
#include "grid_checks.h"

#include <algorithm>
#include <cmath>
#include <QTest>

using cadrel_test::Action;
using cadrel_test::Replay;
using cadrel_test::Trace;
using namespace cadrel_test;

Q_DECLARE_METATYPE(Trace)

class TestBeatEngine : public QObject
{
    Q_OBJECT

private slots:
    void keepsEveryClickOnItsFrame_data()
    {
        QTest::addColumn<Trace>("trace");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<double>("startS");
        QTest::addColumn<int>("slackMs");  // how far the stream's word on a frame may move
        QTest::addColumn<int>("outliers"); // beats whose word moved further (a quantum change)
        const Trace pulse = recorded("pulseaudio-quiet.txt");
        const Trace pulseBusy = recorded("pulseaudio-busy.txt");
        const Trace pipewire = recorded("pipewire-quiet.txt");
        const Trace pipewireBusy = recorded("pipewire-busy.txt");
        const Trace jumpy = recorded("pipewire-requests-later-32ms.txt");
        // Recorded with the stream's own word on when each piece is heard.
        const Trace timed = recorded("pulseaudio-timed.txt");
        const Trace at128 = recorded("pipewire-quantum-128.txt");
        const Trace at256 = recorded("pipewire-quantum-256.txt");
        const Trace at1024 = recorded("pipewire-quantum-1024.txt");
        const Trace changing = recorded("pipewire-quantum-changes.txt");
        QTest::newRow("PulseAudio, quiet, 240") << pulse << 240 << 2.5 << 1 << 0;
        QTest::newRow("PulseAudio, quiet, 130") << pulse << 130 << 3.37 << 1 << 0;
        QTest::newRow("PulseAudio, busy, 250") << pulseBusy << 250 << 2.0 << 1 << 0;
        QTest::newRow("PulseAudio, timed, 240") << timed << 240 << 1.3 << 2 << 0;
        QTest::newRow("PipeWire, quiet, 240") << pipewire << 240 << 1.0 << 1 << 0;
        QTest::newRow("PipeWire, busy, 40") << pipewireBusy << core::kSlowestTempo << 0.5 << 1 << 0;
        QTest::newRow("PipeWire, requests 32 ms later, 240") << jumpy << 240 << 1.2 << 1 << 0;
        QTest::newRow("PipeWire, graph at 128, 240") << at128 << 240 << 1.0 << 2 << 0;
        QTest::newRow("PipeWire, graph at 256, 130") << at256 << 130 << 1.0 << 2 << 0;
        QTest::newRow("PipeWire, graph at 1024, 250")
            << at1024 << core::kFastestTempo << 1.0 << 2 << 0;
        QTest::newRow("PipeWire, graph from 256 to 1024 to 128, 240")
            << changing << 240 << 1.0 << 2 << 2;
        QTest::newRow("PipeWire, stream moved to another sink and back, 240")
            << recorded("pipewire-moved.txt") << 240 << 1.0 << 2 << 0;
        QTest::newRow("PipeWire, graph from 48000 to 44100 and back, 240")
            << recorded("pipewire-rate-changes.txt") << 240 << 1.0 << 2 << 0;
        // The server played silence in the stream's place now and then, and its word jumped
        // 22-33 ms later: the pictures follow within a few answers.
        QTest::newRow("PipeWire, a memory-heavy job beside, 250")
            << recorded("pipewire-memory-heavy.txt") << core::kFastestTempo << 1.0 << 4 << 0;
        // Events the server carried the stream's timing through unchanged (PulseAudio's move
        // and new default sink, a second stream on the sink) or did not apply (WirePlumber kept
        // the stream where it was): only the pieces' sizes change at them.
        QTest::newRow("PipeWire, default sink changed and back, 240")
            << recorded("pipewire-default-changed.txt") << 240 << 1.0 << 2 << 0;
        QTest::newRow("PipeWire, a second instance on the sink, 240")
            << recorded("pipewire-second-instance.txt") << 240 << 1.0 << 2 << 0;
        QTest::newRow("PulseAudio, stream moved to another sink and back, 240")
            << recorded("pulseaudio-moved.txt") << 240 << 2.5 << 2 << 0;
        QTest::newRow("PulseAudio, default sink changed and back, 240")
            << recorded("pulseaudio-default-changed.txt") << 240 << 2.5 << 2 << 0;
        QTest::newRow("PulseAudio, a second instance on the sink, 240")
            << recorded("pulseaudio-second-instance.txt") << 240 << 2.5 << 2 << 0;
    }

    void keepsEveryClickOnItsFrame()
    {
        QFETCH(Trace, trace);
        QFETCH(int, tempo);
        QFETCH(double, startS);
        QFETCH(int, slackMs);
        QFETCH(int, outliers);
        QVERIFY2(!trace.requests.empty(), "the trace cannot be read");
        const double periodMs = core::beatPeriodMs(tempo);
        const auto press = std::int64_t(startS * kS);
        const Replay r = cadrel_test::replay(
            trace, {{press, Action::Start, periodMs}, {trace.lengthNs() - kS, Action::Stop, 0}});

        QVERIFY(r.onsets.size() > 10);
        expectOnGrid(r.onsets, framesOf(periodMs));
        // The first beat is heard one period after the press.
        const std::int64_t first = r.heardAt(r.onsets.front()) - 1'000'000'000'000 - press;
        QVERIFY2(
            std::abs(first - std::int64_t(periodMs * kMs)) < kMs,
            qPrintable(QStringLiteral("first beat heard %1 ms after the press").arg(first / 1e6)));
        expectShownWhenHeard(r, slackMs * kMs, outliers);
        QCOMPARE(r.stats.heard, std::int64_t(r.onsets.size()));
        QCOMPARE(r.stats.placed - r.stats.takenBack, std::int64_t(r.onsets.size()));
    }

    // PulseAudio's idle sink asked for its second buffer 1.96 s after its first: the beats due
    // before the stream plays are not heard, and the first heard keeps its place on the grid.
    void beatsTheOutputCannotPlayAreNotPlayedLate()
    {
        const Replay r = cadrel_test::replay(recorded("pulseaudio-quiet.txt"),
                                             {{kS, Action::Start, 250}, {4 * kS, Action::Stop, 0}});
        QCOMPARE(r.stats.missed, std::int64_t(3));
        const std::int64_t first = r.heardAt(r.onsets.front()) - 1'000'000'000'000;
        QVERIFY(std::abs(first - (kS + 4 * 250 * kMs)) < 21'000); // within a frame
        expectOnGrid(r.onsets, framesOf(250));
        expectShownWhenHeard(r, kMs);
    }

    void stopTakesBackWhatIsNotHeardYet_data()
    {
        QTest::addColumn<std::int64_t>("leadNs");
        QTest::addColumn<std::int64_t>("beforeBeatNs");
        QTest::addColumn<bool>("rewrites");
        QTest::addColumn<std::int64_t>("heldNs");
        // The stream holds `lead` ahead of the ear; stop is pressed that long before a beat.
        QTest::newRow("click written, 1 ms before") << 90 * kMs << 1 * kMs << true << 0 * kMs;
        QTest::newRow("click written, 30 ms before") << 90 * kMs << 30 * kMs << true << 0 * kMs;
        QTest::newRow("click written, 70 ms before") << 90 * kMs << 70 * kMs << true << 0 * kMs;
        QTest::newRow("click not yet written") << 40 * kMs << 80 * kMs << true << 0 * kMs;
        // The first beat falls in frames written before the press, and is not heard.
        QTest::newRow("click written, 200 ms before, 400 ms in the stream")
            << 400 * kMs << 200 * kMs << true << 0 * kMs;
        QTest::newRow("just after a beat") << 90 * kMs << -1 * kMs << true << 0 * kMs;
        // SDL plays what it was given: the click is heard, and counted.
        QTest::newRow("written where it cannot be taken back")
            << 40 * kMs << 20 * kMs << false << 0 * kMs;
        QTest::newRow("not yet written where it could not be")
            << 40 * kMs << 80 * kMs << false << 0 * kMs;
        // PipeWire keeps the two cycles it took from the stream (1024 frames each): a click in
        // them is heard, and counted; one after them is taken back.
        QTest::newRow("held by the server") << 90 * kMs << 30 * kMs << true << 43 * kMs;
        QTest::newRow("not yet held by the server") << 90 * kMs << 60 * kMs << true << 43 * kMs;
    }

    void stopTakesBackWhatIsNotHeardYet()
    {
        QFETCH(std::int64_t, leadNs);
        QFETCH(std::int64_t, beforeBeatNs);
        QFETCH(bool, rewrites);
        QFETCH(std::int64_t, heldNs);
        const Trace trace = cadrel_test::steadyTrace(512, 6, leadNs);
        const std::int64_t press = kS, stop = press + 8 * 250 * kMs - beforeBeatNs;
        const Replay r = cadrel_test::replay(
            trace, {{press, Action::Start, 250}, {stop, Action::Stop, 0}}, rewrites, -1, 0, heldNs);

        const bool written = beforeBeatNs > 0 && beforeBeatNs < leadNs - 15 * kMs;
        const bool held = written && beforeBeatNs < heldNs;
        const std::size_t missed = leadNs > 250 * kMs ? 1 : 0;
        const std::size_t beats =
            (beforeBeatNs > 0 && (rewrites || !written) && !held ? 7 : 8) - missed;
        QCOMPARE(r.onsets.size(), beats);
        QCOMPARE(r.shownAtNs.size(), beats);
        QCOMPARE(r.heardAt(r.onsets.back()) - 1'000'000'000'000 <= stop,
                 beats == 7 - missed || beforeBeatNs < 0);
        QCOMPARE(r.unheardRewrites, 0);
        QCOMPARE(r.rewrittenFrames > 0, rewrites && written && !held);
    }

    // A tempo change ends the run at once, and the new tempo's first beat comes one new period
    // after it: no click of the old grid is heard after the change.
    void tempoChangeStartsANewGridFromThePress()
    {
        const Trace trace = cadrel_test::steadyTrace(512, 8, 90 * kMs);
        const std::int64_t change = kS + 4 * 250 * kMs - 20 * kMs;
        const Replay r = cadrel_test::replay(
            trace,
            {{kS, Action::Start, 250}, {change, Action::Start, 500}, {7 * kS, Action::Stop, 0}});
        const auto base = 1'000'000'000'000;
        std::vector<std::int64_t> before, after;
        for (const std::int64_t onset : r.onsets)
            (r.heardAt(onset) - base <= change ? before : after).push_back(onset);
        QCOMPARE(before.size(), std::size_t(3));
        QVERIFY(after.size() >= 5);
        QVERIFY(std::abs(r.heardAt(after.front()) - base - change - 500 * kMs) < kMs);
        expectOnGrid(after, framesOf(500));
        expectShownWhenHeard(r, kMs);
    }

    void soundChoiceAppliesToBeatsNotYetHeard_data()
    {
        QTest::addColumn<bool>("rewrites");
        QTest::addColumn<QList<int>>("sounded");
        QTest::addColumn<int>("counted");
        // Off 30 ms before beat 2, on 30 ms before beat 4, stop 30 ms before beat 8, with 90 ms in
        // the stream: where the stream can be written again, beats 2 and 3 are silent; where not,
        // beat 2's click is in it already, beat 4 was placed silent, and beat 8 is heard.
        QTest::newRow("PulseAudio") << true << QList<int>{1, 4, 5, 6, 7} << 7;
        QTest::newRow("SDL") << false << QList<int>{1, 2, 5, 6, 7, 8} << 8;
    }

    void soundChoiceAppliesToBeatsNotYetHeard()
    {
        QFETCH(bool, rewrites);
        QFETCH(QList<int>, sounded);
        QFETCH(int, counted);
        const Trace trace = cadrel_test::steadyTrace(512, 6, 90 * kMs);
        const std::int64_t off = kS + 2 * 250 * kMs - 30 * kMs, on = kS + 4 * 250 * kMs - 30 * kMs;
        const Replay r = cadrel_test::replay(trace,
                                             {{kS, Action::Start, 250},
                                              {off, Action::SoundOff, 0},
                                              {on, Action::SoundOn, 0},
                                              {kS + 8 * 250 * kMs - 30 * kMs, Action::Stop, 0}},
                                             rewrites);
        QList<int> beats;
        for (const std::int64_t onset : r.onsets)
            beats << int(std::llround(double(r.heardAt(onset) - 1'000'000'000'000 - kS) / 250e6));
        QCOMPARE(beats, sounded);
        QCOMPARE(int(r.shownAtNs.size()), counted);
        QCOMPARE(r.unheardRewrites, 0);
    }
};

QTEST_APPLESS_MAIN(TestBeatEngine)
#include "tst_beat_engine.moc"
