#include "live_server.h"

#include "onset_finder.h"
#include "sound_probe.h"
#include "wave_bytes.h"

#include <cmath>
#include <QFileInfo>
#include <QProcessEnvironment>

using namespace std::chrono_literals;

namespace cadrel_test {

Recording::Recording(const QString &file)
{
    parec_.setStandardOutputFile(file);
    parec_.start("parec", {"-d", "cadrel_null.monitor", "--format=s16le", "--rate=48000",
                           "--channels=1", "--latency-msec=100"});
}

void Recording::stop()
{
    parec_.terminate();
    parec_.waitForFinished();
}

std::string writeClick(const QTemporaryDir &dir)
{
    const std::string click = dir.filePath("click.wav").toStdString();
    std::vector<float> samples(960);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.8 * std::exp(-double(i) / 60.0));
    writeFile(click, wave16(48000, samples));
    return click;
}

std::vector<double> onsetsIn(const QString &file)
{
    return findOnsets(readRaw(file.toStdString(), "s16le", 1), 0.3f, 2400);
}

std::unique_ptr<platform::Sound> openSound(const std::string &click)
{
    auto sound = std::make_unique<platform::Sound>();
    sound->prepare(click);
    if (!platform::SoundProbe::waitUntilLookedAt(platform::SoundProbe::clips(*sound), 10s) ||
        !platform::SoundProbe::waitForLooks(platform::SoundProbe::outputs(*sound), 1, 20s) ||
        !sound->stats().output.deviceOpen)
        return nullptr;
    sound->prepare(click);
    return sound;
}

QString sinkState()
{
    QProcess pactl;
    pactl.start("pactl", {"list", "short", "sinks"});
    pactl.waitForFinished();
    for (const QString &line : QString::fromUtf8(pactl.readAllStandardOutput()).split('\n'))
        if (line.contains("cadrel_null"))
            return line.split('\t').last().trimmed();
    return {};
}

bool serverRunning()
{
    const QString server = qEnvironmentVariable("PULSE_SERVER");
    return server.startsWith("unix:") && QFileInfo::exists(server.mid(5));
}

bool OwnServer::run(const char *command)
{
    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CADREL_SOUND_DIR", dir_);
    script.setProcessEnvironment(env);
    script.start("sh",
                 {CADREL_NULL_SINK_SCRIPT, qEnvironmentVariable("CADREL_SOUND_SERVER"), command});
    return script.waitForFinished(30000) && script.exitCode() == 0;
}

std::unique_ptr<platform::Sound> soundOnOwnServer(OwnServer &server, const QTemporaryDir &dir)
{
    if (!server.run("start"))
        return nullptr;
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    return openSound(writeClick(dir));
}

} // namespace cadrel_test
