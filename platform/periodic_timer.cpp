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

void PeriodicTimer::setInterval(int milliseconds)
{
    setInterval(milliseconds, Milliseconds(milliseconds));
}

void PeriodicTimer::setInterval(int milliseconds, Milliseconds exactPeriod)
{
    m_interval = milliseconds;
    m_period = exactPeriod;
    restart();
}

void PeriodicTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    restart();
}

core::BeatTime PeriodicTimer::beat(std::int64_t k) const
{
    return {m_start, core::BeatTime::Period(m_period), k};
}

void PeriodicTimer::wake()
{
    if (m_woken)
        return;
    m_woken = true;
    if (!m_enabled || m_period.count() <= 0)
        return;
    skipPast(Clock::now());
    arm();
}

void PeriodicTimer::skipPast(Clock::time_point now)
{
    if (dueOf(m_next) > now)
        return;
    const auto elapsed = std::chrono::duration<double, std::nano>(now - m_start);
    const auto period = std::chrono::duration<double, std::nano>(m_period);
    m_next = std::int64_t(std::floor(elapsed / period)) + 1;
}

void PeriodicTimer::restart()
{
    ++m_generation;
    m_start = Clock::now();
    m_next = 1;
    m_woken = true;
    if (m_enabled && m_period.count() > 0)
        arm();
    else
        m_timer.stop();
}

void PeriodicTimer::arm()
{
    const auto remaining = Milliseconds(dueOf(m_next) - Clock::now());
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
    m_woken = !m_onDemand;
    emit tick(due);
    if (generation != m_generation)
        return; // the handler restarted or stopped the timer
    ++m_next;
    // Skip the ticks the event loop missed; the grid itself stays where it was.
    skipPast(now);
    if (m_woken)
        arm();
}

} // namespace platform
