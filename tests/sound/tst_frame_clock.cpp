// The frame clock on made-up requests: a device at its own rate, requests that scatter or come
// late, the timeline jumping when the server played silence, and the stream stalling.
#include "platform/sound/frame_clock.h"

#include <cmath>
#include <QTest>
#include <random>

using platform::FrameClock;

namespace {

constexpr int kBuffer = 1008;
constexpr double kRate = 48000;

// A device asking for buffers at its true `rate`, the requests scattered (half-normal, `jitter`
// ms) and every 50th `spike` ms late.
FrameClock::Tuning tuning(bool silenceAnnounced)
{
    FrameClock::Tuning t;
    t.silenceAnnounced = silenceAnnounced;
    return t;
}

struct Device {
    explicit Device(bool silenceAnnounced) : clock(kRate, tuning(silenceAnnounced)) {}
    FrameClock clock;
    std::mt19937 random{7};
    double rate = kRate;
    double jitter = 0.02, spike = 0;
    std::int64_t frame = 0;
    double startNs = 1e9; // when frame 0 was asked for, on the device's own timeline

    // Requests for `seconds`; returns the time of the last.
    std::int64_t run(double seconds)
    {
        std::normal_distribution<double> scatter(0, jitter * 1e6);
        std::int64_t now = 0;
        for (int i = 0; i < int(seconds * rate / kBuffer); ++i) {
            const double late = i % 50 == 49 ? spike * 1e6 : 0;
            now = std::int64_t(idealNs(frame) + std::abs(scatter(random)) + late);
            clock.update(frame, kBuffer, now);
            frame += kBuffer;
        }
        return now;
    }
    double idealNs(std::int64_t at) const { return startNs + double(at) / rate * 1e9; }
};

} // namespace

class TestFrameClock : public QObject
{
    Q_OBJECT

private slots:
    void followsTheDevice_data();
    void followsTheDevice();
    void givesNoServerRateFarFromNominal();
};

void TestFrameClock::followsTheDevice_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("jitterMs");
    QTest::addColumn<double>("spikeMs");
    QTest::addColumn<double>("jumpMs");  // silence played after 20 s, at once
    QTest::addColumn<double>("stallMs"); // no requests at all for so long after 20 s
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("restarts");
    // A server that tells of every silence it plays: the jump is told of, or it is not, and
    // then only the requests moved, not the sound.
    QTest::addColumn<bool>("announced");
    QTest::addColumn<bool>("told");
    // clang-format off
    QTest::newRow("nominal, quiet") << kRate << 0.02 << 0.0 << 0.0 << 0.0 << 0 << 1 << false << false;
    QTest::newRow("jittery, late wake-ups move nothing") << kRate << 0.3 << 11.0 << 0.0 << 0.0 << 0 << 1 << false << false;
    QTest::newRow("100 ppm fast") << kRate * 1.0001 << 0.1 << 3.0 << 0.0 << 0.0 << 0 << 1 << false << false;
    QTest::newRow("4 % fast, like SDL's disk driver") << kRate * 1.04 << 0.1 << 0.0 << 0.0 << 0.0 << 0 << 1 << false << false;
    QTest::newRow("0.9 ms of silence") << kRate << 0.02 << 0.0 << 0.9 << 0.0 << 1 << 1 << false << false;
    QTest::newRow("12.5 ms of silence") << kRate << 0.02 << 0.0 << 12.5 << 0.0 << 1 << 1 << false << false;
    QTest::newRow("a stall of 2 s: found again, rate kept") << kRate * 1.04 << 0.05 << 0.0 << 0.0 << 2000.0 << 0 << 2 << false << false;
    QTest::newRow("told of 12.5 ms of silence") << kRate << 0.02 << 0.0 << 12.5 << 0.0 << 1 << 1 << true << true;
    QTest::newRow("requests 21 ms later, no silence told of") << kRate << 0.02 << 0.0 << 21.3 << 0.0 << 1 << 1 << true << false;
    QTest::newRow("requests 11 ms later, 60 ppm fast") << kRate * 1.00006 << 0.1 << 3.0 << 10.7 << 0.0 << 1 << 1 << true << false;
    QTest::newRow("requests 25 ms earlier: followed") << kRate << 0.02 << 0.0 << -25.0 << 0.0 << 1 << 1 << true << false;
    // clang-format on
}

// After the events of the row and 10 s more, the clock knows the device's rate, and the frame it
// maps a later time to is where the device will be then.
void TestFrameClock::followsTheDevice()
{
    QFETCH(double, rate);
    QFETCH(double, jitterMs);
    QFETCH(double, spikeMs);
    QFETCH(double, jumpMs);
    QFETCH(double, stallMs);
    QFETCH(int, steps);
    QFETCH(int, restarts);
    QFETCH(bool, announced);
    QFETCH(bool, told);
    Device device(announced);
    device.rate = rate;
    device.jitter = jitterMs;
    device.spike = spikeMs;
    device.run(20);
    // The sound moved when the server told of silence, or when it is not one that tells; a
    // jump earlier by more than the room a click needs is followed all the same.
    const bool soundMoved =
        !announced || told || jumpMs < -1000 * platform::SoundTimeline::kEarlyLimitSeconds;
    const double soundStartNs = device.startNs + ((soundMoved ? jumpMs : 0) + stallMs) * 1e6;
    device.startNs += (jumpMs + stallMs) * 1e6;
    if (told)
        device.clock.serverRanDry();
    const std::int64_t last = device.run(10);
    QCOMPARE(device.clock.steps(), steps);
    QCOMPARE(device.clock.heardSteps(), soundMoved ? steps : 0);
    device.startNs = soundStartNs; // the frame the mapping gives is where the sound is
    QCOMPARE(device.clock.restarts(), restarts);
    // A jump starts the fitted line again, but the rate measured before it is still given out
    // with the span it was measured over, so that the clicks' grid need not wait for a new one.
    const auto measured = device.clock.measuredRate();
    if (restarts == 1) {
        QVERIFY2(measured.spanSeconds >= 15, qPrintable(QString::number(measured.spanSeconds)));
        QVERIFY2(std::abs(measured.framesPerSecond / rate - 1) < 20e-6,
                 qPrintable(QString::number(measured.framesPerSecond)));
    }
    const auto m = device.clock.mapping();
    QVERIFY2(std::abs(m.framesPerNs * 1e9 / rate - 1) < 20e-6,
             qPrintable(QString::number(m.framesPerNs * 1e9)));
    // The callbacks' lateness only ever delays them, and shifts the mapping by a little of it.
    const std::int64_t later = last + 30'000'000;
    const double trueFrame =
        double(device.frame) + (double(later) - device.idealNs(device.frame)) * rate * 1e-9;
    // A sound's timeline kept from where it settled runs at the nominal rate until the rate
    // is fitted, and keeps what it drifted off meanwhile.
    const double untilFitted = FrameClock::kFitAfterSeconds + FrameClock::kFitSpanSeconds;
    const double drifted = announced ? std::abs(rate - kRate) * untilFitted : 0;
    QVERIFY2(std::abs(m.frameAt(later) - trueFrame) < rate * (0.25 + jitterMs) * 1e-3 + drifted,
             qPrintable(QString::number(m.frameAt(later) - trueFrame)));
}

// Requests that say the device runs 0.23 % slow: from a server that tells of its silences,
// that is a line bent by jumps of its requests, not its sink; SDL's disk driver really runs
// 4 % fast, and says nothing of silences.
void TestFrameClock::givesNoServerRateFarFromNominal()
{
    for (const bool announced : {true, false}) {
        Device device(announced);
        device.rate = kRate * (1 - 0.0023);
        device.run(12);
        const double measured = device.clock.measuredRate().framesPerSecond;
        if (announced)
            QCOMPARE(measured, 0.0);
        else
            QVERIFY2(std::abs(measured / device.rate - 1) < 20e-6,
                     qPrintable(QString::number(measured)));
    }
}

QTEST_APPLESS_MAIN(TestFrameClock)
#include "tst_frame_clock.moc"
