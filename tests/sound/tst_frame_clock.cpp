#include "platform/sound/frame_clock.h"

#include <cmath>
#include <QTest>
#include <random>

using platform::FrameClock;

namespace {

constexpr int kBuffer = 504;
constexpr double kRate = 48000;

// Feeds `clock` the callbacks of a device whose true rate is `rate`, for `seconds`, with callback
// times scattered by `jitterMs` and every 500th callback late by `spikeMs`. Returns the time of
// the last callback; `frame` is advanced.
std::int64_t feed(FrameClock &clock, std::int64_t &frame, std::int64_t startNs, double rate,
                  double seconds, double jitterMs, double spikeMs, std::mt19937 &random)
{
    std::normal_distribution<double> jitter(0, jitterMs * 1e6);
    std::int64_t now = startNs;
    const std::int64_t first = frame;
    for (int i = 0; i < int(seconds * rate / kBuffer); ++i) {
        const double ideal = double(frame - first) / rate * 1e9;
        const double late = (i % 500 == 499) ? spikeMs * 1e6 : 0;
        now = startNs + std::int64_t(ideal + std::abs(jitter(random)) + late);
        clock.update(frame, kBuffer, now);
        frame += kBuffer;
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
    void takesOverAJumpOfTheTimeline();
    void restartsAfterAStall();
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

void TestFrameClock::takesOverAJumpOfTheTimeline()
{
    FrameClock clock(kRate);
    std::mt19937 random(3);
    std::int64_t frame = 0;
    std::int64_t now = feed(clock, frame, 0, kRate, 20, 0.02, 0, random);
    // The server played 12.5 ms of silence: from here on every callback comes that much later.
    const std::int64_t shifted = now + std::int64_t(kBuffer / kRate * 1e9) + 12'500'000;
    const std::int64_t frameAtShift = frame;
    feed(clock, frame, shifted, kRate, 1, 0.02, 0, random);
    QCOMPARE(clock.steps(), 1);
    QCOMPARE(clock.restarts(), 1);
    const auto m = clock.mapping();
    const std::int64_t probe = shifted + 900'000'000;
    const double trueFrame = double(frameAtShift) + 0.9 * kRate;
    QVERIFY2(std::abs(m.frameAt(probe) - trueFrame) < 5,
             qPrintable(QString::number(m.frameAt(probe) - trueFrame)));
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

QTEST_APPLESS_MAIN(TestFrameClock)
#include "tst_frame_clock.moc"
