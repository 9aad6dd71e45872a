// The click facility end to end on SDL's disk driver, which writes exactly what the audio
// callback produced. Its clock runs a few percent off real time and its thread sleeps from
// buffer to buffer, so only what a busy machine cannot change is asserted: what is played, and
// in which order. Where the clicks land is tested on recorded streams (tst_click_placement),
// what the file gives in tst_clip_loader, how clicks cut each other in tst_click_mixer.
#include "onset_finder.h"
#include "platform/sound/sound.h"
#include "sound_fixture.h"
#include "stderr_capture.h"
#include "wave_bytes.h"

#include <algorithm>
#include <cmath>
#include <QTemporaryDir>
#include <QTest>
#include <SDL.h>
#include <thread>

using namespace std::chrono_literals;
using Clock = platform::Sound::Clock;

namespace {

// A click like sn.wav: full attack on frame 0, then a quick decay.
std::vector<float> clickSamples()
{
    std::vector<float> s(960);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = float(0.8 * std::exp(-double(i) / 60.0) * std::cos(0.3 * double(i)));
    return s;
}

// Routes the next Sound to the disk driver, writing to `file`.
void useDiskDriver(const QString &file)
{
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", file.toLocal8Bit());
}

// The first channel of what the disk driver wrote (the mix is written as floats).
std::vector<float> recorded(const platform::Sound &sound, const QString &file)
{
    return cadrel_test::readRaw(file.toStdString(), "f32le", sound.stats().channels);
}

// Lets the output stream start, and the file be read, before the first request.
void settle(platform::Sound &sound, const std::string &file)
{
    sound.prepare(file);
    QVERIFY(sound.filesLookedAt(10s));
    std::this_thread::sleep_for(1500ms);
}

} // namespace

class TestSoundDisk : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void playsEachBeatOnceInOrder();
    void saysOnceThatThereIsNoOutput();

private:
    QTemporaryDir dir_;
};

// A sound closes its output on a thread of its own, so that a hung server cannot hold up the
// program's end, and SDL's audio is one for the whole process: until the last case's output has
// let go of it, a new one would open the driver still loaded (on a busy machine, measured: the
// disk driver of the case before, in 2 runs of 30), whatever the environment now says.
void TestSoundDisk::init()
{
    QVERIFY(dir_.isValid());
    const auto giveUp = Clock::now() + 20s;
    while (SDL_WasInit(SDL_INIT_AUDIO) != 0 && Clock::now() < giveUp)
        std::this_thread::sleep_for(10ms);
    QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), Uint32(0));
}

// Every beat asked for is heard once, whole and in order, and nothing else is: the output
// holds exactly the clicks, sample for sample, on silence.
void TestSoundDisk::playsEachBeatOnceInOrder()
{
    const std::string path = dir_.filePath("click.wav").toStdString();
    const std::vector<float> click = clickSamples();
    cadrel_test::writeFile(path, cadrel_test::wave16(48000, click));
    const QString file = dir_.filePath("beats.raw");
    useDiskDriver(file);
    platform::Sound sound;
    QVERIFY(sound.stats().deviceOpen);
    settle(sound, path);
    constexpr int kBeats = 16;
    cadrel_test::playBeats(sound, path, 97ms, kBeats);
    std::this_thread::sleep_for(500ms);
    const auto samples = recorded(sound, file);
    const auto onsets = cadrel_test::findOnsets(samples, 0.3f, 48000 / 50);
    QCOMPARE(int(onsets.size()), kBeats);
    QCOMPARE(sound.stats().stream.mixer.started, std::int64_t(kBeats));
    std::vector<std::size_t> starts;
    for (const double onset : onsets)
        starts.push_back(std::size_t(std::ceil(onset)));
    // The click is written as 16-bit samples; the mix gives them back to that precision.
    for (const std::size_t at : starts)
        for (std::size_t i = 0; i < click.size(); ++i)
            QVERIFY2(std::abs(samples[at + i] - click[i]) < 2.0f / 32768,
                     qPrintable(QStringLiteral("sample %1 of the click at %2: %3, not %4")
                                    .arg(i)
                                    .arg(at)
                                    .arg(samples[at + i])
                                    .arg(click[i])));
    std::size_t loud = 0;
    for (const float v : samples)
        loud += v != 0.0f;
    QVERIFY(loud <= kBeats * click.size());
}

// No sound server and no output SDL can open: the program says so once, in one line that
// tells what to do, looks again at most once a second, and lets nothing else (ALSA) speak.
void TestSoundDisk::saysOnceThatThereIsNoOutput()
{
    qunsetenv("SDL_AUDIODRIVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/cadrel-test-socket");
    qputenv("PIPEWIRE_REMOTE", "/nonexistent/cadrel-test-socket");
    const std::string noCards = dir_.filePath("asound.conf").toStdString();
    cadrel_test::writeFile(noCards, {});
    qputenv("ALSA_CONFIG_PATH", QByteArray::fromStdString(noCards));
    cadrel_test::StderrCapture capture(dir_.filePath("stderr.txt").toStdString());
    const auto start = Clock::now();
    int attempts = 0;
    {
        platform::Sound sound;
        const char *driver = SDL_GetCurrentAudioDriver();
        QVERIFY2(!sound.stats().deviceOpen,
                 qPrintable(QStringLiteral("%1 opened (SDL driver %2)")
                                .arg(sound.stats().outputKind, driver ? driver : "none")));
        while (Clock::now() - start < 2500ms) {
            sound.playNow("sn.wav");
            std::this_thread::sleep_for(10ms);
        }
        attempts = sound.stats().openAttempts;
        QVERIFY(!sound.stats().deviceOpen);
    }
    const std::string text = capture.text();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    QVERIFY2(attempts >= 2 && attempts <= 1 + int(elapsed), qPrintable(QString::number(attempts)));
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 1);
    QVERIFY2(text.find("nessuna uscita audio") != std::string::npos &&
                 text.find("SDL_AUDIODRIVER") != std::string::npos,
             text.c_str());
}

QTEST_APPLESS_MAIN(TestSoundDisk)
#include "tst_sound_disk.moc"
