#pragma once

#include "core/interfaces.h"

#include <chrono>
#include <cstdint>
#include <QObject>
#include <QTimer>

namespace platform {

// A periodic timer that does not drift: restarted at t0 with period P, tick k is due at
// t0 + k*P on the monotonic clock, however late earlier ticks were delivered. Each tick reports
// when it was due (see core::BeatTime), so work that must land on the beat (the click) can be
// placed on that time rather than on whenever the event loop got round to it. Ticks missed
// while the event loop was busy are not delivered in a burst: the next tick is the next one
// still ahead.
//
// The interval is in whole milliseconds, as the window's design knows it; the period is
// normally the same, but can be given exactly (the beat at 130 bpm is 461.538... ms, not 461).
class PeriodicTimer : public QObject, public core::BeatTimer
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    explicit PeriodicTimer(QObject *parent = nullptr);

    // Runs from now on, restarting the countdown.
    void restart(int intervalMs, core::BeatTime::Period period) override;
    void restart(int intervalMs) { restart(intervalMs, std::chrono::milliseconds(intervalMs)); }
    void stop();

    int interval() const { return m_interval; }
    Clock::time_point countdownStart() const { return m_start; }

signals:
    // Tick `beat.index` of the grid that started at the last restart; it was due at beat.due().
    void tick(core::BeatTime beat);

private:
    core::BeatTime beat(std::int64_t k) const;
    void skipPast(Clock::time_point now);
    void arm();
    void fire();

    QTimer m_timer;
    int m_interval = 0;
    core::BeatTime::Period m_period{0};
    Clock::time_point m_start;
    std::int64_t m_next = 1;        // index of the next tick to deliver
    std::uint64_t m_generation = 0; // bumped on every restart, so a tick's handler may restart
};

} // namespace platform
