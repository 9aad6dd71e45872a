#include "platform/periodic_timer.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// A tick arriving this much before its due time is taken as on time rather than re-armed for
// the remainder: the system timer wakes in whole milliseconds.
constexpr auto earlyTolerance = std::chrono::microseconds(1000);

} // namespace

PeriodicTimer::PeriodicTimer(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PeriodicTimer::fire);
}

void PeriodicTimer::restart(int intervalMs, core::BeatTime::Period period)
{
    ++m_generation;
    m_interval = intervalMs;
    m_period = period;
    m_start = Clock::now();
    m_next = 1;
    if (m_period.count() > 0)
        arm();
    else
        m_timer.stop();
}

void PeriodicTimer::stop()
{
    ++m_generation;
    m_timer.stop();
}

core::BeatTime PeriodicTimer::beat(std::int64_t k) const
{
    return {m_start, m_period, k};
}

void PeriodicTimer::skipPast(Clock::time_point now)
{
    if (beat(m_next).due() > now)
        return;
    m_next = std::int64_t(std::floor((now - m_start) / m_period)) + 1;
}

void PeriodicTimer::arm()
{
    const auto remaining =
        std::chrono::duration<double, std::milli>(beat(m_next).due() - Clock::now());
    m_timer.start(std::max(0, int(std::ceil(remaining.count()))));
}

void PeriodicTimer::fire()
{
    const auto now = Clock::now();
    const core::BeatTime due = beat(m_next);
    if (now + earlyTolerance < due.due()) {
        arm();
        return;
    }
    const auto generation = m_generation;
    emit tick(due);
    if (generation != m_generation)
        return; // the handler restarted or stopped the timer
    ++m_next;
    // Skip the ticks the event loop missed; the grid itself stays where it was.
    skipPast(now);
    arm();
}

} // namespace platform
