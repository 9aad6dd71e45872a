// The beat end to end on SDL's disk driver, which writes exactly what the audio callback
// produced. Its clock runs a few percent off real time and its thread sleeps from buffer to
// buffer, so only what a busy machine cannot change is asserted: what is played, where in the
// stream, and that every beat said to be heard is in it. How the stream's requests place the
// clicks is replayed in tst_beat_engine, what the file gives in tst_clip_loader.
#include "onset_finder.h"
#include "platform/sound/sound.h"
#include "sound_probe.h"
#include "stderr_capture.h"
#include "wave_bytes.h"

#include <algorithm>
#include <cmath>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <SDL.h>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A click like sn.wav: full attack on frame 0, then a quick decay.
std::vector<float> clickSamples()
{
    std::vector<float> s(960);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = float(0.8 * std::exp(-double(i) / 60.0) * std::cos(0.3 * double(i)));
    return s;
}

} // namespace

class TestSoundDisk : public QObject
{
    Q_OBJECT

private slots:
    // A sound closes its output on a thread of its own, so that a hung server cannot hold up the
    // program's end, and SDL's audio is one for the whole process: until the last case's output has
    // let go of it, a new one would open the driver still loaded (on a busy machine, measured: the
    // disk driver of the case before, in 2 runs of 30), whatever the environment now says.
    void init()
    {
        QVERIFY(dir_.isValid());
        const auto giveUp = Clock::now() + 20s;
        while (SDL_WasInit(SDL_INIT_AUDIO) != 0 && Clock::now() < giveUp)
            std::this_thread::sleep_for(10ms);
        QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), Uint32(0));
    }

    // Every beat said to be heard is in the stream once, whole, exactly one period after the one
    // before, and nothing else is: the output holds the clicks sample for sample, on silence.
    void playsEachBeatOnItsFrame()
    {
        const std::string path = dir_.filePath("click.wav").toStdString();
        const std::vector<float> click = clickSamples();
        cadrel_test::writeFile(path, cadrel_test::wave16(48000, click));
        const QString file = dir_.filePath("beats.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", file.toLocal8Bit());
        platform::Sound sound;
        QSignalSpy heard(&sound, &platform::Sound::heard);
        sound.prepare(path);
        QVERIFY(platform::SoundProbe::waitUntilLookedAt(platform::SoundProbe::clips(sound), 10s));
        QVERIFY(platform::SoundProbe::waitForLooks(platform::SoundProbe::outputs(sound), 1, 10s));
        QVERIFY(sound.stats().output.deviceOpen);
        sound.start(Clock::now(), 97.5); // the first click is the file read by now, not the beep
        QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= 16, 20000);
        sound.stop(Clock::now());
        const int beats = int(heard.count());
        QTest::qWait(500);
        QCOMPARE(int(heard.count()), beats);

        // The first channel of what the disk driver wrote, stereo floats.
        const auto samples = cadrel_test::readRaw(file.toStdString(), "f32le", 2);
        const auto onsets = cadrel_test::findOnsets(samples, 0.3f, 48000 / 50);
        QCOMPARE(int(onsets.size()), beats);
        QCOMPARE(int(sound.stats().beats.onsets.size()), beats);
        for (std::size_t k = 1; k < onsets.size(); ++k) // 97.5 ms are 4680 frames
            QCOMPARE(onsets[k] - onsets[k - 1], 4680.0);
        // The click is written as 16-bit samples; the mix gives them back to that precision.
        for (const double onset : onsets) {
            const auto at = std::size_t(std::ceil(onset));
            for (std::size_t i = 0; i < click.size(); ++i)
                QVERIFY2(std::abs(samples[at + i] - click[i]) < 2.0f / 32768,
                         qPrintable(QStringLiteral("sample %1 of the click at %2: %3, not %4")
                                        .arg(i)
                                        .arg(at)
                                        .arg(samples[at + i])
                                        .arg(click[i])));
        }
        std::size_t loud = 0;
        for (const float v : samples)
            loud += v != 0.0f;
        QVERIFY(loud <= std::size_t(beats) * click.size());
    }

    // No sound server and no output SDL can open: the program says so once, in one line that
    // tells what to do, looks again at most once a second while it beats, lets nothing else (ALSA)
    // speak, and the beat goes on, silent.
    void saysOnceThatThereIsNoOutput()
    {
        qunsetenv("SDL_AUDIODRIVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/cadrel-test-socket");
        qputenv("PIPEWIRE_REMOTE", "/nonexistent/cadrel-test-socket");
        const std::string noCards = dir_.filePath("asound.conf").toStdString();
        cadrel_test::writeFile(noCards, {});
        qputenv("ALSA_CONFIG_PATH", QByteArray::fromStdString(noCards));
        cadrel_test::StderrCapture capture(dir_.filePath("stderr.txt").toStdString());
        int attempts = 0;
        double elapsed = 0;
        {
            platform::Sound sound;
            QSignalSpy heard(&sound, &platform::Sound::heard);
            QVERIFY(
                platform::SoundProbe::waitForLooks(platform::SoundProbe::outputs(sound), 1, 20s));
            const char *driver = SDL_GetCurrentAudioDriver();
            QVERIFY2(!sound.stats().output.deviceOpen,
                     qPrintable(
                         QStringLiteral("%1 opened (SDL driver %2)")
                             .arg(sound.stats().output.output.c_str(), driver ? driver : "none")));
            const auto start = Clock::now();
            sound.start(start, 250);
            QVERIFY(
                platform::SoundProbe::waitForLooks(platform::SoundProbe::outputs(sound), 2, 20s));
            QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= 8, 20000);
            sound.stop(Clock::now());
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            attempts = sound.stats().output.openAttempts;
            QVERIFY(!sound.stats().output.deviceOpen);
        }
        const std::string text = capture.text();
        QVERIFY2(attempts >= 2 && attempts <= 2 + int(elapsed),
                 qPrintable(QString::number(attempts)));
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), 1);
        QVERIFY2(text.find("nessun server audio ha risposto") != std::string::npos &&
                     text.find("SDL_AUDIODRIVER") != std::string::npos,
                 text.c_str());
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(TestSoundDisk)
#include "tst_sound_disk.moc"
