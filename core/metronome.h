#pragma once

#include "core/interfaces.h"
#include "core/tempo_rules.h"

#include <QObject>
#include <QString>
#include <string>

namespace core {

enum class RunState { NeverStarted, Running, Stopped };

// The metronome: its tempo, whether it runs, the count of all its beats heard and whether they
// sound. It starts and stops the beat, re-times it when the tempo changes, and says when a beat
// is heard and when it starts or stops. It knows nothing of the window that shows it.
class Metronome : public QObject
{
    Q_OBJECT

public:
    // The beat's interval until the tempo is first applied.
    static constexpr int kFirstIntervalMs = 1000;

    // Sounds `clickPath` on every sounded beat.
    Metronome(BeatSource &source, std::string clickPath, QObject *parent = nullptr);

    int tempo() const { return m_tempo; }           // beats per minute
    int intervalMs() const { return m_intervalMs; } // the beat's interval, whole milliseconds
    RunState runState() const { return m_state; }
    const QString &count() const { return m_count; } // decimal digits, never overflowing
    bool soundOn() const { return m_soundOn; }

    // Sets the tempo and applies it: a running beat restarts on its period from now.
    void setTempo(int bpm);
    // Starts the beat, or stops it while it runs; a start's first beat comes one period after.
    void startOrStop();
    void setSoundOn(bool on);

    // A beat of the running metronome has just been heard.
    void beatHeard();

signals:
    void tempoApplied(int bpm);
    void runStateChanged(core::RunState state);
    // A beat heard: the count it brought the metronome to.
    void beat(const QString &count);

private:
    BeatSource &m_source;
    int m_tempo = kSlowestTempo;
    int m_intervalMs = kFirstIntervalMs;
    RunState m_state = RunState::NeverStarted;
    QString m_count = QStringLiteral("0");
    bool m_soundOn = true;
};

} // namespace core
