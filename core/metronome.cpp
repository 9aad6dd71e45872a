#include "core/metronome.h"

#include "core/beat_rules.h"

namespace core {

Metronome::Metronome(BeatTimer &timer, ClickPlayer &player, std::string clickPath, QObject *parent)
    : QObject(parent), m_timer(timer), m_player(player), m_clickPath(std::move(clickPath))
{
    m_timer.restart(kFirstIntervalMs, BeatTime::Period(kFirstIntervalMs * 1e6));
    m_player.prepare(m_clickPath);
}

void Metronome::setTempo(int bpm)
{
    m_tempo = bpm;
    applyTempo();
    emit tempoApplied(bpm);
}

// Stop: no beat counts any more, and the timer restarts its countdown; the count, the
// pendulum and the tempo stay as they are. Start: the first beat comes one period after.
void Metronome::startOrStop()
{
    m_state = m_state == RunState::Running ? RunState::Stopped : RunState::Running;
    emit runStateChanged(m_state);
    applyTempo();
}

void Metronome::tick(const BeatTime &due)
{
    if (m_state != RunState::Running)
        return;
    if (m_soundOn)
        m_player.play(m_clickPath, due);
    m_count = advanceCount(m_count);
    emit beat(m_count, due);
}

// The timer's interval is the tempo's whole milliseconds, and the beats fall on the exact
// period of the tempo.
void Metronome::applyTempo()
{
    m_timer.restart(beatIntervalMs(m_tempo), BeatTime::Period(beatPeriodMs(m_tempo) * 1e6));
}

} // namespace core
