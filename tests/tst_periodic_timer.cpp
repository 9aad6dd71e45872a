#include "platform/periodic_timer.h"

#include <chrono>
#include <QSignalSpy>
#include <QTest>
#include <thread>

using platform::PeriodicTimer;
using Clock = PeriodicTimer::Clock;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::chrono::steady_clock::time_point)

namespace {

// Collects the due time and the delivery time of every tick.
struct Recorder {
    std::vector<Clock::time_point> due;
    std::vector<Clock::time_point> delivered;
    void attach(PeriodicTimer &timer)
    {
        QObject::connect(&timer, &PeriodicTimer::tick, [this](const core::BeatTime &beat) {
            due.push_back(beat.due());
            delivered.push_back(Clock::now());
        });
    }
};

bool waitForTicks(const Recorder &recorder, std::size_t count, int timeoutMs = 20000)
{
    return QTest::qWaitFor([&] { return recorder.due.size() >= count; }, timeoutMs);
}

} // namespace

class PeriodicTimerTest : public QObject
{
    Q_OBJECT

private slots:
    void dueTimesFollowTheGridExactly_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<double>("period");
        QTest::newRow("whole milliseconds") << 20 << 20.0;
        QTest::newRow("exact fraction") << 7 << 7.6923076923;
        QTest::newRow("fastest") << 1 << 1.0;
    }
    void dueTimesFollowTheGridExactly()
    {
        QFETCH(int, interval);
        QFETCH(double, period);
        PeriodicTimer timer;
        Recorder recorder;
        recorder.attach(timer);
        const auto before = Clock::now();
        timer.restart(interval, core::BeatTime::Period(period * 1e6));
        const auto start = timer.countdownStart();
        QVERIFY(start >= before);
        QVERIFY(waitForTicks(recorder, 12));
        timer.stop();

        QCOMPARE(timer.interval(), interval);
        for (std::size_t i = 1; i < recorder.due.size(); ++i) {
            // Each due time lies on the grid counted from the restart, never on the previous
            // delivery: rounding to the clock's nanoseconds is the only error allowed.
            const double k =
                std::round(std::chrono::duration<double, std::milli>(recorder.due[i] - start) /
                           std::chrono::duration<double, std::milli>(period));
            const auto ideal = std::chrono::duration<double, std::nano>(period * 1e6 * k);
            const auto actual = std::chrono::duration<double, std::nano>(recorder.due[i] - start);
            QVERIFY2(std::abs((actual - ideal).count()) <= 1.0,
                     qPrintable(QStringLiteral("tick %1 off the grid by %2 ns")
                                    .arg(i)
                                    .arg((actual - ideal).count())));
            QVERIFY(recorder.due[i] > recorder.due[i - 1]);
            // Delivered no earlier than the system timer's millisecond allows.
            QVERIFY(recorder.delivered[i] + 1ms >= recorder.due[i]);
        }
        // With a period of several milliseconds every tick is delivered, none skipped.
        if (period >= 7.0)
            QCOMPARE(recorder.due.front(),
                     start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double, std::milli>(period)));
    }

    void restartingRestartsTheCountdown()
    {
        PeriodicTimer timer;
        Recorder recorder;
        recorder.attach(timer);
        timer.restart(50);
        QTest::qWait(30);
        const auto before = Clock::now();
        timer.restart(50); // the same interval restarts the countdown too
        const auto after = Clock::now();
        QVERIFY(waitForTicks(recorder, 1));
        QVERIFY(recorder.due.front() >= before + 50ms);
        QVERIFY(recorder.due.front() <= after + 50ms);
    }

    void missedTicksAreSkippedNotBurst()
    {
        PeriodicTimer timer;
        Recorder recorder;
        recorder.attach(timer);
        timer.restart(10);
        QVERIFY(waitForTicks(recorder, 1));
        std::this_thread::sleep_for(105ms); // the event loop is blocked for ten periods
        const auto resumed = Clock::now();
        QVERIFY(waitForTicks(recorder, 4));
        const auto start = timer.countdownStart();
        timer.stop();
        // At most one overdue tick is delivered at once; the rest lie ahead on the same grid.
        int overdue = 0;
        for (std::size_t i = 1; i < recorder.due.size(); ++i)
            overdue += recorder.due[i] < resumed ? 1 : 0;
        QVERIFY(overdue <= 1);
        for (const auto due : recorder.due)
            QCOMPARE((due - start) % std::chrono::milliseconds(10), Clock::duration::zero());
    }

    void stoppedTimerNeverTicks()
    {
        PeriodicTimer timer;
        QSignalSpy ticks(&timer, &PeriodicTimer::tick);
        QTest::qWait(50); // never started
        QCOMPARE(ticks.count(), 0);
        timer.restart(1);
        QVERIFY(ticks.wait(1000));
        timer.stop();
        ticks.clear();
        QTest::qWait(50);
        QCOMPARE(ticks.count(), 0);
    }

    void handlerMayRestartTheTimer()
    {
        PeriodicTimer timer;
        int ticks = 0;
        Clock::time_point restartedAt;
        QObject::connect(&timer, &PeriodicTimer::tick, [&](const core::BeatTime &) {
            if (++ticks == 1) {
                restartedAt = Clock::now();
                timer.restart(20);
            }
        });
        timer.restart(5);
        QVERIFY(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
        QCOMPARE(timer.interval(), 20);
        QVERIFY(timer.countdownStart() >= restartedAt);
    }
};

QTEST_GUILESS_MAIN(PeriodicTimerTest)
#include "tst_periodic_timer.moc"
