#pragma once

#include "core/interfaces.h"
#include "core/tempo_rules.h"

#include <QObject>
#include <QString>
#include <string>

namespace core {

enum class RunState { NeverStarted, Running, Stopped };

// The metronome: its tempo, whether it runs, the count of all its beats heard and whether they
// sound. It starts and stops the beat, re-times it when the tempo changes, and says when its
// tempo changes, when a beat is heard and when it starts or stops. Whatever shows these facts
// (the window) reads them here and follows the signals; it keeps no copy of its own.
class Metronome : public QObject
{
    Q_OBJECT

public:
    // Sounds `clickPath` on every sounded beat.
    Metronome(BeatSource &source, std::string clickPath, QObject *parent = nullptr);

    int tempo() const { return m_tempo; } // beats per minute, within the tempo's range
    RunState runState() const { return m_state; }
    const QString &count() const { return m_count; } // decimal digits, never overflowing
    bool soundOn() const { return m_soundOn; }

    // Changes the tempo, brought within its range; a running beat restarts on its period from
    // now. The tempo it already has changes nothing.
    void setTempo(int bpm);
    // Starts the beat, or stops it while it runs; a start's first beat comes one period after.
    void startOrStop();
    void setSoundOn(bool on);

    // A beat of the running metronome has just been heard.
    void beatHeard();

signals:
    void tempoChanged(int bpm);
    void runStateChanged(core::RunState state);
    void soundChanged(bool on);
    // A beat heard: the count it brought the metronome to.
    void beat(const QString &count);

private:
    BeatSource &m_source;
    int m_tempo = kSlowestTempo;
    RunState m_state = RunState::NeverStarted;
    QString m_count = QStringLiteral("0");
    bool m_soundOn = true;
};

} // namespace core
