#include "beat_run.h"

#include "platform/periodic_timer.h"

#include <algorithm>
#include <cmath>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr int kRecordRate = 48000;
// An idle null sink and a new stream both wake slowly: the stream opens this long before the
// first beat and the recording starts this long before it.
constexpr int kStreamWarmupMs = 5000;
constexpr int kRecordWarmupMs = 2500;

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

BeatRunResult runBeats(const BeatRun &run)
{
    BeatRunResult result;
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("monitor.raw"));

    platform::SoundOptions options;
    options.naive = run.naive;
    options.budget.bufferFrames = run.bufferFrames;
    platform::Sound sound(options);
    result.latencyMs = std::chrono::duration<double, std::milli>(sound.outputLatency()).count();
    waitMs(kStreamWarmupMs);

    QProcess parec;
    parec.setStandardOutputFile(recording);
    parec.start(QStringLiteral("parec"),
                {QStringLiteral("-d"), run.monitor, QStringLiteral("--format=s16le"),
                 QStringLiteral("--rate=%1").arg(kRecordRate), QStringLiteral("--channels=1"),
                 QStringLiteral("--latency-msec=20")});
    if (!parec.waitForStarted()) {
        result.error = QStringLiteral("cannot start parec");
        return result;
    }
    waitMs(kRecordWarmupMs);

    const double periodMs = 60000.0 / run.bpm;
    const std::string path = run.clickPath.toStdString();
    platform::PeriodicTimer timer;
    QObject::connect(&timer, &platform::PeriodicTimer::tick, [&](auto due) {
        sound.play(path, due);
        ++result.requests;
        const auto late = std::chrono::steady_clock::now() - due.due();
        result.worstTickLateMs = std::max(result.worstTickLateMs,
                                          std::chrono::duration<double, std::milli>(late).count());
    });
    timer.restart(int(periodMs), core::BeatTime::Period(periodMs * 1e6));
    waitMs(run.seconds * 1000);
    timer.stop();
    waitMs(500);
    result.stats = sound.stats();

    parec.terminate();
    parec.waitForFinished();
    const std::vector<float> mono = cadrel_test::readRaw(recording.toStdString(), "s16le", 1);
    const auto onsets = cadrel_test::findOnsets(mono, 0.3f, kRecordRate / 20);
    result.figures = cadrel_test::measureOnsets(onsets, kRecordRate, periodMs);
    result.ok = true;
    return result;
}
