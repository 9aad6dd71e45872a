#include "core/metronome.h"

#include "core/beat_rules.h"

#include <algorithm>

namespace core {

Metronome::Metronome(BeatSource &source, std::string clickPath, QObject *parent)
    : QObject(parent), m_source(source)
{
    m_source.prepare(clickPath);
}

// A tempo change restarts the countdown: while running, the next beat comes one new period
// after the change.
void Metronome::setTempo(int bpm)
{
    bpm = std::clamp(bpm, kSlowestTempo, kFastestTempo);
    if (bpm == m_tempo)
        return;
    m_tempo = bpm;
    if (m_state == RunState::Running)
        m_source.start(BeatSource::Clock::now(), beatPeriodMs(bpm));
    emit tempoChanged(bpm);
}

// Stop: no beat is heard after the press; the count, the pendulum and the tempo stay as they
// are. Start: the first beat comes one period after the press. Beats heard before the press
// are counted first.
void Metronome::startOrStop()
{
    const auto press = BeatSource::Clock::now();
    if (m_state == RunState::Running) {
        m_source.stop(press);
        m_state = RunState::Stopped;
    } else {
        m_source.start(press, beatPeriodMs(m_tempo));
        m_state = RunState::Running;
    }
    emit runStateChanged(m_state);
}

void Metronome::setSoundOn(bool on)
{
    m_source.setSoundOn(on);
    if (on == m_soundOn)
        return;
    m_soundOn = on;
    emit soundChanged(on);
}

void Metronome::beatHeard()
{
    if (m_state != RunState::Running)
        return;
    m_count = advanceCount(m_count);
    emit beat(m_count);
}

} // namespace core
