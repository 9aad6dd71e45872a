#include "platform/sound/frame_clock.h"

#include <cmath>
#include <functional>
#include <QTest>
#include <random>

using platform::FrameClock;

namespace {

constexpr int kBuffer = 1008; // as the program asks for
constexpr double kRate = 48000;

// Feeds `clock` the callbacks of a device whose true rate is `rate`, for `seconds`, with callback
// times scattered by `jitterMs` and every `spikeEvery`th callback late by `spikeMs`. Returns the
// time of the last callback; `frame` is advanced. `after`, when given, is called after each
// callback with the time the device really asked for it.
std::int64_t feed(FrameClock &clock, std::int64_t &frame, std::int64_t startNs, double rate,
                  double seconds, double jitterMs, double spikeMs, std::mt19937 &random,
                  int spikeEvery = 500, const std::function<void(double idealNs)> &after = {})
{
    std::normal_distribution<double> jitter(0, jitterMs * 1e6);
    std::int64_t now = startNs;
    const std::int64_t first = frame;
    for (int i = 0; i < int(seconds * rate / kBuffer); ++i) {
        const double ideal = double(frame - first) / rate * 1e9;
        const double late = (i % spikeEvery == spikeEvery - 1) ? spikeMs * 1e6 : 0;
        now = startNs + std::int64_t(ideal + std::abs(jitter(random)) + late);
        clock.update(frame, kBuffer, now);
        frame += kBuffer;
        if (after)
            after(double(startNs) + ideal);
    }
    return now;
}

} // namespace

class TestFrameClock : public QObject
{
    Q_OBJECT

private slots:
    void followsTheDeviceRate_data();
    void followsTheDeviceRate();
    void holdsTheBeatGridOverAMinute_data();
    void holdsTheBeatGridOverAMinute();
    void takesOverAJumpOfTheTimeline_data();
    void takesOverAJumpOfTheTimeline();
    void lateCallbacksAloneMoveNothing();
    void restartsAfterAStall();
    void keepsTheMeasuredRateThroughAStall();
};

void TestFrameClock::followsTheDeviceRate_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("jitterMs");
    QTest::addColumn<double>("spikeMs");
    QTest::newRow("nominal, quiet") << kRate << 0.02 << 0.0;
    QTest::newRow("nominal, jittery with late wake-ups") << kRate << 0.3 << 6.0;
    QTest::newRow("100 ppm fast") << kRate * 1.0001 << 0.1 << 3.0;
    QTest::newRow("4 % fast, like SDL's disk driver") << kRate * 1.04 << 0.1 << 0.0;
}

void TestFrameClock::followsTheDeviceRate()
{
    QFETCH(double, rate);
    QFETCH(double, jitterMs);
    QFETCH(double, spikeMs);
    FrameClock clock(kRate);
    std::mt19937 random(7);
    std::int64_t frame = 0;
    const std::int64_t start = 1'000'000'000;
    feed(clock, frame, start, rate, 30, jitterMs, spikeMs, random);
    const auto m = clock.mapping();
    QVERIFY(m.valid);
    QCOMPARE(clock.restarts(), 1);
    // The measured rate is within 20 ppm, and the frame due at a later time is where the
    // device will be then, to within a quarter of a millisecond beyond the callbacks' usual
    // lateness (which only ever delays them, and so shifts the whole mapping a little).
    QVERIFY2(std::abs(m.framesPerNs * 1e9 / rate - 1) < 20e-6,
             qPrintable(QString::number(m.framesPerNs * 1e9)));
    const std::int64_t later = start + std::int64_t(31e9);
    const double trueFrame = 31.0 * rate;
    QVERIFY2(std::abs(m.frameAt(later) - trueFrame) < rate * (0.25 + jitterMs) * 1e-3,
             qPrintable(QString::number(m.frameAt(later) - trueFrame)));
}

void TestFrameClock::holdsTheBeatGridOverAMinute_data()
{
    QTest::addColumn<double>("jitterMs");
    QTest::addColumn<double>("spikeMs");
    QTest::newRow("quiet") << 0.05 << 0.0;
    QTest::newRow("jittery, every 50th callback 6 ms late") << 0.3 << 6.0;
}

// Beats asked for while the clock runs, a minute apart, land as many frames apart as the
// device plays in that minute: the placing does not drift with the callbacks' jitter.
void TestFrameClock::holdsTheBeatGridOverAMinute()
{
    QFETCH(double, jitterMs);
    QFETCH(double, spikeMs);
    FrameClock clock(kRate);
    std::mt19937 random(13);
    // A beat asked for 10 s after the stream started, and one a minute later, each placed
    // 29 ms ahead of its callback as the program does.
    constexpr double kFirst = 10, kLast = 70;
    double firstError = 0, lastError = 0;
    std::int64_t frame = 0;
    feed(clock, frame, 0, kRate, kLast, jitterMs, spikeMs, random, 50, [&](double ideal) {
        const std::int64_t beat = std::int64_t(ideal) + 29'000'000;
        const double error = clock.mapping().frameAt(beat) - double(beat) * 1e-9 * kRate;
        if (ideal <= kFirst * 1e9)
            firstError = error;
        lastError = error;
    });
    const double drift = lastError - firstError;
    qInfo("drift over the minute: %.2f frames", drift);
    QVERIFY2(std::abs(drift) <= 3, qPrintable(QString::number(drift))); // 0.06 ms
}

void TestFrameClock::takesOverAJumpOfTheTimeline_data()
{
    QTest::addColumn<double>("lateMs");
    QTest::addColumn<double>("shiftMs");
    // As recorded from SDL on a PulseAudio null sink on a busy two-core machine: one callback
    // comes late, and the ones after it stay later by what the server played as silence.
    QTest::newRow("0.9 ms after a late callback") << 10.5 << 0.9;
    QTest::newRow("2.3 ms after a late callback") << 15.6 << 2.3;
    QTest::newRow("4.2 ms after a late callback") << 7.5 << 4.2;
    QTest::newRow("12.5 ms at once") << 0.0 << 12.5;
    QTest::newRow("95 ms after a stalled machine") << 0.0 << 95.0;
}

void TestFrameClock::takesOverAJumpOfTheTimeline()
{
    QFETCH(double, lateMs);
    QFETCH(double, shiftMs);
    FrameClock clock(kRate);
    std::mt19937 random(3);
    std::int64_t frame = 0;
    std::int64_t now = feed(clock, frame, 0, kRate, 20, 0.02, 0, random);
    const std::int64_t next = now + std::int64_t(kBuffer / kRate * 1e9);
    if (lateMs > 0) {
        clock.update(frame, kBuffer, next + std::int64_t(lateMs * 1e6));
        frame += kBuffer;
        now = next;
    }
    // From here on every callback comes later by the silence the server played.
    const std::int64_t shifted = now + std::int64_t(kBuffer / kRate * 1e9 + shiftMs * 1e6);
    const std::int64_t frameAtShift = frame;
    // Four callbacks on the new timeline are enough to place the clicks after them on it.
    const std::int64_t fourth =
        feed(clock, frame, shifted, kRate, 4 * kBuffer / kRate, 0.02, 0, random);
    QCOMPARE(clock.steps(), 1);
    QCOMPARE(clock.restarts(), 1);
    const auto m = clock.mapping();
    const std::int64_t probe = fourth + 30'000'000;
    const double trueFrame = double(frameAtShift) + double(probe - shifted) * 1e-9 * kRate;
    QVERIFY2(std::abs(m.frameAt(probe) - trueFrame) < 2,
             qPrintable(QString::number(m.frameAt(probe) - trueFrame)));
}

void TestFrameClock::lateCallbacksAloneMoveNothing()
{
    FrameClock clock(kRate);
    std::mt19937 random(11);
    std::int64_t frame = 0;
    const std::int64_t start = 0;
    feed(clock, frame, start, kRate, 10, 0.02, 0, random);
    const auto before = clock.mapping();
    // Every 50th callback comes 11 ms late, and the next is back on time.
    feed(clock, frame, start + std::int64_t(double(frame) / kRate * 1e9), kRate, 20, 0.02, 11.0,
         random, 50);
    QCOMPARE(clock.steps(), 0);
    const std::int64_t probe = start + std::int64_t(31e9);
    QVERIFY2(std::abs(clock.mapping().frameAt(probe) - before.frameAt(probe)) < 1,
             qPrintable(QString::number(clock.mapping().frameAt(probe) - before.frameAt(probe))));
}

void TestFrameClock::restartsAfterAStall()
{
    FrameClock clock(kRate);
    std::mt19937 random(5);
    std::int64_t frame = 0;
    const std::int64_t now = feed(clock, frame, 0, kRate, 5, 0.02, 0, random);
    feed(clock, frame, now + 2'000'000'000, kRate, 1, 0.02, 0,
         random); // two seconds without callbacks
    QCOMPARE(clock.restarts(), 2);
    std::int64_t fresh = 0;
    feed(clock, fresh, now + 4'000'000'000, kRate, 1, 0.02, 0, random); // a new stream from frame 0
    QCOMPARE(clock.restarts(), 3);
}

void TestFrameClock::keepsTheMeasuredRateThroughAStall()
{
    // SDL's disk driver runs a few percent off its nominal rate, and its thread may stall.
    const double rate = kRate * 1.04;
    FrameClock clock(kRate);
    std::mt19937 random(9);
    std::int64_t frame = 0;
    const std::int64_t now = feed(clock, frame, 0, rate, 10, 0.05, 0, random);
    const std::int64_t resumed = now + 1'500'000'000; // long enough to restart the loop
    feed(clock, frame, resumed, rate, 1, 0.05, 0, random);
    QCOMPARE(clock.restarts(), 2);
    const auto m = clock.mapping();
    QVERIFY2(std::abs(m.framesPerNs * 1e9 / rate - 1) < 100e-6,
             qPrintable(QString::number(m.framesPerNs * 1e9)));
    // Beats a second apart are placed as far apart as the device really plays them.
    const std::int64_t a = resumed + 1'200'000'000;
    const double spacing = m.frameAt(a + 1'000'000'000) - m.frameAt(a);
    QVERIFY2(std::abs(spacing - rate) < 2, qPrintable(QString::number(spacing - rate)));
}

QTEST_APPLESS_MAIN(TestFrameClock)
#include "tst_frame_clock.moc"
