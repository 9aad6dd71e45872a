#pragma once

#include "core/beat_time.h"

#include <chrono>
#include <cstdint>
#include <QObject>
#include <QTimer>

namespace platform {

// A periodic timer that does not drift: with the countdown restarted at t0 and period P, tick k
// is due at t0 + k*P on the monotonic clock, however late earlier ticks were delivered. Each tick
// reports the time it was due, so work that must land on the beat (the click) can be placed on
// that time rather than on whenever the event loop got round to it. Ticks missed while the
// event loop was busy are not delivered in a burst: the next tick is the next one still ahead.
//
// Interval is in whole milliseconds, as the window's design knows it; the period is normally the
// same, but can be given exactly (the beat at 130 bpm is 461.538... ms, not 461 ms).
class PeriodicTimer : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    using Milliseconds = std::chrono::duration<double, std::milli>;

    explicit PeriodicTimer(QObject *parent = nullptr);

    int interval() const { return m_interval; }
    Milliseconds period() const { return m_period; }
    bool isEnabled() const { return m_enabled; }
    Clock::time_point countdownStart() const { return m_start; }

    // Assigning the interval restarts the countdown from this moment.
    void setInterval(int milliseconds);
    void setInterval(int milliseconds, Milliseconds exactPeriod);
    // Switching on restarts the countdown; switching off stops the ticks.
    void setEnabled(bool enabled);

    // For a handler that only redraws from state it reads: the timer keeps its grid but skips
    // the ticks at which nothing the handler reads has changed, so a 1 ms display tick does not
    // wake the program a thousand times a second to draw the same picture. It delivers the
    // first tick after switching on, then the first grid tick after each wake().
    void setTicksOnDemand(bool onDemand) { m_onDemand = onDemand; }
    void wake();

signals:
    // Tick `beat.index` of the grid that started at the last restart; it was due at beat.due().
    void tick(core::BeatTime beat);

private:
    core::BeatTime beat(std::int64_t k) const;
    Clock::time_point dueOf(std::int64_t k) const { return beat(k).due(); }
    void restart();
    void skipPast(Clock::time_point now);
    void arm();
    void fire();

    QTimer m_timer;
    int m_interval = 0;
    Milliseconds m_period{0};
    bool m_enabled = false;
    Clock::time_point m_start;
    std::int64_t m_next = 1;        // index of the next tick to deliver
    std::uint64_t m_generation = 0; // bumped on every restart, so a tick's handler may restart
    bool m_onDemand = false;
    bool m_woken = false; // a tick is wanted (always, unless ticks come on demand)
};

} // namespace platform
