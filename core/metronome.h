#pragma once

#include "core/beat_time.h"
#include "core/interfaces.h"
#include "core/tempo_rules.h"

#include <QObject>
#include <QString>
#include <string>

namespace core {

enum class RunState { NeverStarted, Running, Stopped };

// The metronome: its tempo, whether it runs, the count of all its beats and whether they
// sound. It starts and stops the beat, re-times it when the tempo changes, and says when a
// beat falls and when it starts or stops. It knows nothing of the window that shows it.
class Metronome : public QObject
{
    Q_OBJECT

public:
    // The beat timer ticks at this interval from the start, until the tempo is first applied
    // (ticks before the first start do nothing).
    static constexpr int kFirstIntervalMs = 1000;

    // Plays `clickPath` on every sounded beat.
    Metronome(BeatTimer &timer, ClickPlayer &player, std::string clickPath,
              QObject *parent = nullptr);

    int tempo() const { return m_tempo; } // beats per minute
    RunState runState() const { return m_state; }
    const QString &count() const { return m_count; } // decimal digits, never overflowing
    bool soundOn() const { return m_soundOn; }

    // Sets the tempo and applies it: the beat restarts on its period from now.
    void setTempo(int bpm);
    // Starts the beat, or stops it while it runs; either way the beat restarts from now.
    void startOrStop();
    void setSoundOn(bool on) { m_soundOn = on; }

    // A tick of the beat timer, due as `due` says: while running, one beat.
    void tick(const core::BeatTime &due);

signals:
    void tempoApplied(int bpm);
    void runStateChanged(core::RunState state);
    // A beat: the count it brought the metronome to.
    void beat(const QString &count, const core::BeatTime &due);

private:
    void applyTempo();

    BeatTimer &m_timer;
    ClickPlayer &m_player;
    std::string m_clickPath;
    int m_tempo = kSlowestTempo;
    RunState m_state = RunState::NeverStarted;
    QString m_count = QStringLiteral("0");
    bool m_soundOn = true;
};

} // namespace core
