// Where the clicks land in the output stream. The grid's rules with a mapping made up to the
// frame, and then the placement replayed on what real PulseAudio and PipeWire streams did:
// traces of their requests recorded on a quiet and on a busy machine, each with a stall that
// made the server run dry. Nothing here depends on how busy the machine running the test is.
#include "trace_replay.h"

#include <algorithm>
#include <cmath>
#include <QTest>

using platform::ClickGrid;
using namespace std::chrono_literals;

namespace {

constexpr double kRate = 48000;
const core::BeatTime::Clock::time_point kStart{1000s};

core::BeatTime beat(double periodMs, std::int64_t index,
                    core::BeatTime::Clock::time_point origin = kStart)
{
    return {origin, core::BeatTime::Period(periodMs * 1e6), index};
}

// A mapping that puts the due time of every beat of a run that started at kStart, plus
// `ahead`, on frame `offset + due * rate`.
platform::FrameClock::Mapping mappingAt(double offset, double rate = kRate)
{
    platform::FrameClock::Mapping m;
    m.valid = true;
    m.originNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(kStart.time_since_epoch()).count();
    m.originFrame = offset;
    m.framesPerNs = rate * 1e-9;
    return m;
}

QString traceFile(const char *name)
{
    return QStringLiteral(CADREL_TRACE_DIR "/%1.txt").arg(QLatin1String(name));
}

} // namespace

class TestClickPlacement : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheRunOnItsGrid_data();
    void keepsTheRunOnItsGrid();
    void laysTheGridAfresh_data();
    void laysTheGridAfresh();
    void takesAMeasuredRateOnlyBeyondDoubt_data();
    void takesAMeasuredRateOnlyBeyondDoubt();
    void replaysRecordedStreams_data();
    void replaysRecordedStreams();
};

void TestClickPlacement::keepsTheRunOnItsGrid_data()
{
    QTest::addColumn<double>("periodMs");
    QTest::addColumn<double>("wobble"); // frames the mapping wanders by, beat to beat
    QTest::newRow("240 bpm, steady mapping") << 250.0 << 0.0;
    QTest::newRow("240 bpm, mapping wobbling by 5 ms") << 250.0 << 240.0;
    QTest::newRow("130 bpm: the fraction of a frame is kept") << 60000.0 / 130 << 100.0;
    QTest::newRow("40 bpm") << 1500.0 << 470.0;
}

// However the mapping wobbles within the bound, the n-th click lies n periods after the first,
// rounded once: no rounding error builds up, and the spacing never varies by more than the
// one frame that a fractional period needs.
void TestClickPlacement::keepsTheRunOnItsGrid()
{
    QFETCH(double, periodMs);
    QFETCH(double, wobble);
    ClickGrid grid({});
    std::vector<std::int64_t> onsets;
    for (int k = 1; k <= 400; ++k) {
        const double sway = (k % 3 - 1) * wobble;
        onsets.push_back(*grid.place(beat(periodMs, k), mappingAt(1234.25 + sway), 0ns, 1, {}));
    }
    const double perBeat = periodMs / 1000 * kRate;
    const double first = 1234.25 + perBeat; // where the first beat's due time falls
    for (int k = 0; k < int(onsets.size()); ++k)
        QCOMPARE(onsets[std::size_t(k)], std::llround(first + k * perBeat));
    QCOMPARE(grid.stats().laid, 1);
    QCOMPARE(grid.stats().reanchored, 0);
}

void TestClickPlacement::laysTheGridAfresh_data()
{
    QTest::addColumn<int>("change"); // what happens before the 6th click
    QTest::addColumn<double>("shift");
    QTest::addColumn<bool>("laid");
    enum { None, Restart, NewTempo, Reopened, Shift };
    QTest::newRow("nothing") << int(None) << 0.0 << false;
    QTest::newRow("start pressed again") << int(Restart) << 0.0 << true;
    QTest::newRow("a new tempo") << int(NewTempo) << 0.0 << true;
    QTest::newRow("the output reopened") << int(Reopened) << 0.0 << true;
    QTest::newRow("9 ms of silence: the grid keeps its spacing") << int(Shift) << -432.0 << false;
    QTest::newRow("11 ms of silence: back on time in one step") << int(Shift) << -528.0 << true;
    QTest::newRow("clock 11 ms ahead: back in one step") << int(Shift) << 528.0 << true;
}

void TestClickPlacement::laysTheGridAfresh()
{
    QFETCH(int, change);
    QFETCH(double, shift);
    QFETCH(bool, laid);
    ClickGrid grid({});
    for (int k = 1; k <= 5; ++k)
        grid.place(beat(250, k), mappingAt(0), 0ns, 1, {});
    const auto origin = change == 1 ? kStart + 10ms : kStart;
    const double period = change == 2 ? 500 : 250;
    const std::uint64_t stream = change == 3 ? 2 : 1;
    const auto sixth = beat(period, 6, origin);
    const auto onset = grid.place(sixth, mappingAt(shift), 0ns, stream, {});
    const double due = std::chrono::duration<double>(sixth.due() - kStart).count() * kRate + shift;
    const std::int64_t onGrid = 6 * 12000;
    QCOMPARE(*onset, laid ? std::llround(due) : onGrid);
    // Either way the clicks after it keep the spacing from there.
    QCOMPARE(*grid.place(beat(period, 7, origin), mappingAt(shift), 0ns, stream, {}),
             *onset + std::llround(period / 1000 * kRate));
    QCOMPARE(grid.stats().laid + grid.stats().reanchored, laid ? 2 : 1);
}

void TestClickPlacement::takesAMeasuredRateOnlyBeyondDoubt_data()
{
    QTest::addColumn<double>("measured");
    QTest::addColumn<double>("error");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("afterwards"); // once 1000 ppm fast is measured ten seconds on
    const double later = kRate * 1.001;
    // clang-format off
    QTest::newRow("nothing measured yet") << 0.0 << 0.0 << kRate << later;
    QTest::newRow("measured over too short a span") << -48001.92 << 0.1 << kRate << later;
    QTest::newRow("15 ppm off: within the tolerance") << 48000.72 << 0.001 << kRate << later;
    QTest::newRow("40 ppm off, but in doubt") << 48001.92 << 1.0 << kRate << later;
    // Taken at once the first time; from then on moved by 10 ppm at most.
    QTest::newRow("40 ppm off beyond doubt") << 48001.92 << 0.1 << 48001.92 << 48001.92 * 1.00001;
    QTest::newRow("4 % fast, like SDL's disk driver") << 49920.0 << 5.0 << 49920.0 << 49920.0 * 0.99999;
    // clang-format on
}

// The grid counts with the nominal rate until the measured one is beyond doubt. It takes the
// first measurement as soon as there is one, and looks again only every ten seconds of beats.
void TestClickPlacement::takesAMeasuredRateOnlyBeyondDoubt()
{
    QFETCH(double, measured);
    QFETCH(double, error);
    QFETCH(double, expected);
    QFETCH(double, afterwards);
    ClickGrid grid({});
    // A negative rate in the table stands for one measured over only 5 s.
    const platform::MeasuredRate rate{std::abs(measured), error, measured < 0 ? 5.0 : 30.0};
    grid.place(beat(250, 1), mappingAt(0, expected), 0ns, 1, rate);
    grid.place(beat(250, 2), mappingAt(0, expected), 0ns, 1, rate);
    QCOMPARE(grid.stats().rate, expected);
    // Beats 3 to 41 span ten seconds from beat 2.
    const platform::MeasuredRate later{kRate * 1.001, 0.01, 30};
    for (int k = 3; k <= 41; ++k)
        grid.place(beat(250, k), mappingAt(0, expected), 0ns, 1, later);
    QCOMPARE(grid.stats().rate, measured > 0 ? expected : later.framesPerSecond);
    grid.place(beat(250, 42), mappingAt(0, expected), 0ns, 1, later);
    QCOMPARE(grid.stats().rate, afterwards);
}

void TestClickPlacement::replaysRecordedStreams_data()
{
    QTest::addColumn<QString>("trace");
    QTest::addColumn<double>("periodMs");
    QTest::addColumn<double>("tickLateMs");
    QTest::addColumn<double>("startS"); // when the first beat is due, into the trace
    QTest::addColumn<int>("laidAgain"); // by a dropout longer than the bound
    QTest::addColumn<bool>("ranDry");   // the server told of silence it played
    // The first four traces each hold a stall of the stream's thread (44 ms on quiet
    // PulseAudio, 45 ms on quiet PipeWire, 60 ms busy) after which the server played silence,
    // 8.6 ms of it in the quiet PulseAudio trace; the busy PulseAudio stream also ran dry as
    // its sink woke up. In the quiet PulseAudio trace the sink slept for the first two seconds.
    // clang-format off
    QTest::newRow("PulseAudio, quiet, 240 bpm") << traceFile("pulseaudio-quiet") << 250.0 << 1.0 << 3.0 << 0 << true;
    QTest::newRow("PulseAudio, started while the sink slept") << traceFile("pulseaudio-quiet") << 250.0 << 1.0 << 0.5 << 0 << true;
    QTest::newRow("PulseAudio, busy, 240 bpm") << traceFile("pulseaudio-busy") << 250.0 << 1.0 << 3.0 << 2 << true;
    QTest::newRow("PipeWire, quiet, 240 bpm") << traceFile("pipewire-quiet") << 250.0 << 1.0 << 1.5 << 1 << true;
    QTest::newRow("PipeWire, busy, 240 bpm") << traceFile("pipewire-busy") << 250.0 << 1.0 << 1.5 << 1 << true;
    QTest::newRow("PipeWire, busy, 130 bpm") << traceFile("pipewire-busy") << 60000.0 / 130 << 1.0 << 1.5 << 1 << true;
    QTest::newRow("PulseAudio, busy, ticks 30 ms late") << traceFile("pulseaudio-busy") << 250.0 << 30.0 << 3.0 << 2 << true;
    QTest::newRow("PipeWire, busy, ticks 30 ms late") << traceFile("pipewire-busy") << 250.0 << 30.0 << 1.5 << 1 << true;
    // In the last two the requests came 21 and 32 ms later, all at once, while the server
    // played on unbroken: the sink's recording has every click of a frame-counted stream where
    // it belongs. The clicks must stay where they are.
    QTest::newRow("PipeWire, requests 21 ms later") << traceFile("pipewire-requests-later-21ms") << 250.0 << 1.0 << 1.5 << 0 << false;
    QTest::newRow("PipeWire, requests 32 ms later") << traceFile("pipewire-requests-later-32ms") << 250.0 << 1.0 << 1.5 << 0 << false;
    QTest::newRow("PipeWire, requests later, 130 bpm") << traceFile("pipewire-requests-later-32ms") << 60000.0 / 130 << 1.0 << 1.5 << 0 << false;
    // clang-format on
}

void TestClickPlacement::replaysRecordedStreams()
{
    QFETCH(QString, trace);
    QFETCH(double, periodMs);
    QFETCH(double, tickLateMs);
    QFETCH(double, startS);
    QFETCH(int, laidAgain);
    QFETCH(bool, ranDry);
    const cadrel_test::Trace recorded = cadrel_test::readTrace(trace.toStdString());
    QVERIFY2(!recorded.requests.empty(), qPrintable(trace));
    const cadrel_test::Replay r = cadrel_test::replay(recorded, periodMs, startS, tickLateMs);
    QVERIFY(r.clicks.size() > 50);
    // Clicks asked for before the stream's timeline is known sound as soon as possible; from
    // the first one laid on its grid on, none is late.
    const auto laid =
        std::find_if(r.clicks.begin(), r.clicks.end(), [](auto &c) { return c.laid; });
    QVERIFY(std::none_of(laid, r.clicks.end(), [](auto &c) { return c.late; }));
    if (ranDry) {
        QVERIFY(!r.dropouts.empty());
        QVERIFY(r.clockSteps >= 1); // the silence was taken over as a jump of the timeline
    } else {
        QVERIFY(r.dropouts.empty());
        QVERIFY(r.requestJumps >= 1); // the requests' jump was seen, and is not the sound's
        QCOMPARE(r.clockSteps, 0);
    }
    QCOMPARE(r.grid.laid, 1);
    QCOMPARE(r.grid.reanchored, laidAgain);
    // Every interval that holds no dropout is the period, to the frame, at the rate the grid
    // counts with (PulseAudio's null sink runs about 55 ppm fast); a period with a fraction of
    // a frame alternates between its two neighbours.
    const auto intervals = r.cleanIntervals();
    QVERIFY(std::ptrdiff_t(intervals.size()) >= (r.clicks.end() - laid) - 5);
    const auto [low, high] = std::minmax_element(intervals.begin(), intervals.end());
    const double perBeat = periodMs / 1000 * r.grid.rate;
    QVERIFY2(*high - *low <= (perBeat == std::floor(perBeat) ? 0 : 1),
             qPrintable(QStringLiteral("%1 to %2").arg(*low).arg(*high)));
    QVERIFY2(std::abs(*low - perBeat) <= 1, qPrintable(QString::number(*low)));
    // After the dropout the clicks sound later by the silence, until it passes the bound and
    // they are put back on time.
    const double boundFrames = 0.010 * recorded.rate;
    QVERIFY2(std::abs(r.grid.offset) <= boundFrames, qPrintable(QString::number(r.grid.offset)));
    if (laidAgain == 0 && ranDry)
        QVERIFY2(r.grid.offset > 0.002 * recorded.rate, qPrintable(QString::number(r.grid.offset)));
    if (!ranDry) // the clicks stay on the sound's timeline, a millisecond at most away
        QVERIFY2(std::abs(r.grid.offset) <= 0.001 * recorded.rate,
                 qPrintable(QString::number(r.grid.offset)));
}

QTEST_APPLESS_MAIN(TestClickPlacement)
#include "tst_click_placement.moc"
