#pragma once

// What the tests on a real sound server share: the private servers of scripts/null-sink.sh,
// PulseAudio or PipeWire (CADREL_SOUND_SERVER), their null sink's monitor recorded with parec.
#include "platform/sound/sound.h"

#include <chrono>
#include <memory>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace cadrel_test {

// Records the null sink's monitor of the server at PULSE_SERVER into `file` while it lives.
class Recording
{
public:
    explicit Recording(const QString &file);
    ~Recording() { stop(); }
    bool started() { return parec_.waitForStarted(); }
    void stop();

private:
    QProcess parec_;
};

// A click with a sharp attack, as sn.wav, written into `dir`.
std::string writeClick(const QTemporaryDir &dir);
// The clicks' first frames in a recording.
std::vector<double> onsetsIn(const QString &file);
// A sound whose output is open, with the click read; null when the server does not answer.
std::unique_ptr<platform::Sound> openSound(const std::string &click);
// The state of the null sink: RUNNING while a stream plays into it, IDLE or SUSPENDED when
// none does (a corked stream does not).
QString sinkState();
// The private server at PULSE_SERVER is there.
bool serverRunning();

// A second private server of the same kind, which a test stops, pauses and starts again.
class OwnServer
{
public:
    explicit OwnServer(const QString &dir) : dir_(dir) {}
    ~OwnServer() { run("stop"); }
    bool run(const char *command);
    QString address() const { return "unix:" + dir_ + "/run/pulse/native"; }

private:
    QString dir_;
};

// A sound on `server`, started, its output open (PULSE_SERVER points at it); null when the
// server does not come up or does not answer.
std::unique_ptr<platform::Sound> soundOnOwnServer(OwnServer &server, const QTemporaryDir &dir);

} // namespace cadrel_test
