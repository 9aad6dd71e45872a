// The click facility on a real sound server: a private PulseAudio with a null sink, started by
// scripts/pulse-null-sink.sh; the sink's monitor is recorded with parec while clicks are placed
// on a 500 ms grid of due times. Skips when that server is not running.
#include "onset_finder.h"
#include "platform/sound/sound.h"
#include "wave_bytes.h"

#include <cmath>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace std::chrono_literals;
using Clock = platform::Sound::Clock;

class TestSoundPulse : public QObject
{
    Q_OBJECT

private slots:
    void clicksFollowTheIdealGrid();
};

void TestSoundPulse::clicksFollowTheIdealGrid()
{
    const QString server = qEnvironmentVariable("PULSE_SERVER");
    if (!server.startsWith("unix:") || !QFileInfo::exists(server.mid(5)))
        QSKIP("no private PulseAudio server (start it with scripts/pulse-null-sink.sh start)");
    QTemporaryDir dir;
    const std::string click = dir.filePath("click.wav").toStdString();
    std::vector<float> samples(960);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.8 * std::exp(-double(i) / 60.0));
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, samples));

    platform::Sound sound;
    if (!sound.stats().deviceOpen)
        QSKIP("the PulseAudio server does not answer");
    const QString recording = dir.filePath("monitor.raw");
    QProcess parec;
    parec.setStandardOutputFile(recording);
    parec.start("parec", {"-d", "cadrel_null.monitor", "--format=s16le", "--rate=48000",
                          "--channels=1", "--latency-msec=20"});
    QVERIFY2(parec.waitForStarted(), "parec (pulseaudio-utils) is needed");
    // An idle null sink wakes slowly, and so does a new stream: start well ahead.
    std::this_thread::sleep_for(3s);

    constexpr int kBeats = 12;
    constexpr auto kPeriod = 500ms;
    const auto start = Clock::now();
    for (int k = 0; k < kBeats; ++k) {
        const auto due = start + k * kPeriod;
        std::this_thread::sleep_until(due + 1ms);
        sound.play(click, due);
    }
    std::this_thread::sleep_for(600ms);
    parec.terminate();
    parec.waitForFinished();

    const auto mono = cadrel_test::readRaw(recording.toStdString(), "s16le", 1);
    const auto onsets = cadrel_test::findOnsets(mono, 0.3f, 2400);
    QCOMPARE(int(onsets.size()), kBeats);
    const auto figures = cadrel_test::measureOnsets(onsets, 48000, 500.0);
    qInfo("worst deviation %.4f ms, spread %.4f ms, drift %.4f ms", figures.worstDeviation,
          figures.spread, figures.drift);
    QVERIFY2(figures.worstDeviation <= 1.0, qPrintable(QString::number(figures.worstDeviation)));
}

QTEST_APPLESS_MAIN(TestSoundPulse)
#include "tst_sound_pulse.moc"
