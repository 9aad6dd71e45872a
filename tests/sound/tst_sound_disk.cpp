// The click facility end to end on SDL's disk driver, which writes exactly what the audio
// callback produced. Its clock runs a few percent off real time and its thread sleeps from
// buffer to buffer, so only what a busy machine cannot change is asserted: what is played, and
// in which order. Where the clicks land is tested on recorded streams (tst_click_placement).
#include "onset_finder.h"
#include "platform/sound/sound.h"
#include "stderr_capture.h"
#include "wave_bytes.h"

#include <algorithm>
#include <cmath>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace std::chrono_literals;
using Clock = platform::Sound::Clock;

namespace {

// A beat of its own, due at `t`.
core::BeatTime now(Clock::time_point t)
{
    return {t, {}, 0};
}

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

// Lets the output stream start, and the files be read, before the first request.
void settle(platform::Sound &sound, std::initializer_list<std::string> files = {})
{
    for (const std::string &file : files)
        sound.prepare(file);
    QVERIFY(sound.filesLookedAt(10s));
    std::this_thread::sleep_for(1500ms);
}

} // namespace

class TestSoundDisk : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void playsEachBeatOnceInOrder();
    void missingFilePlaysTheDefaultBeep();
    void changedFileIsPickedUp();
    void newRequestCutsTheSoundStillPlaying();
    void saysOnceThatThereIsNoOutput();

private:
    QTemporaryDir dir_;
};

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
    settle(sound, {path});
    constexpr int kBeats = 16;
    constexpr auto kPeriod = 97ms;
    const auto start = Clock::now();
    for (int k = 1; k <= kBeats; ++k) {
        const core::BeatTime beat{start, kPeriod, k};
        std::this_thread::sleep_until(beat.due() + 1ms); // a timer tick comes a little late
        sound.play(path, beat);
    }
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

void TestSoundDisk::missingFilePlaysTheDefaultBeep()
{
    const QString file = dir_.filePath("missing.raw");
    useDiskDriver(file);
    platform::Sound sound;
    const std::string missing = dir_.filePath("no-such-file.wav").toStdString();
    settle(sound, {missing});
    sound.play(missing, now(Clock::now()));
    std::this_thread::sleep_for(400ms);
    const auto samples = recorded(sound, file);
    const auto onsets = cadrel_test::findOnsets(samples, 0.02f, 48000);
    QCOMPARE(onsets.size(), std::size_t(1));
    // A soft tone rather than a click: its level stays low, and it keeps crossing zero at a
    // steady pitch for a good tenth of a second.
    const auto begin = std::size_t(onsets[0]) + 1;
    float peak = 0;
    int crossings = 0;
    for (std::size_t i = begin; i < begin + sound.stats().rate / 10 && i < samples.size(); ++i) {
        peak = std::max(peak, std::abs(samples[i]));
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    }
    QVERIFY2(peak < 0.3f, qPrintable(QString::number(peak)));
    QVERIFY2(crossings > 100, qPrintable(QString::number(crossings)));
}

void TestSoundDisk::changedFileIsPickedUp()
{
    const QString file = dir_.filePath("changed.raw");
    const std::string click = dir_.filePath("level.wav").toStdString();
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, std::vector<float>(480, 0.5f)));
    useDiskDriver(file);
    platform::Sound sound;
    settle(sound, {click});
    sound.play(click, now(Clock::now()));
    std::this_thread::sleep_for(300ms);
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, std::vector<float>(960, 0.25f)));
    // The beat that finds the file changed has it read; the beats after it play it.
    sound.prepare(click);
    QVERIFY(sound.filesLookedAt(10s));
    sound.play(click, now(Clock::now()));
    std::this_thread::sleep_for(300ms);
    const auto samples = recorded(sound, file);
    const auto onsets = cadrel_test::findOnsets(samples, 0.1f, 4800);
    QCOMPARE(onsets.size(), std::size_t(2));
    const auto first = std::size_t(onsets[0]) + 1;
    const auto second = std::size_t(onsets[1]) + 1;
    QVERIFY(std::abs(samples[first + 100] - 0.5f) < 1e-3f);
    QVERIFY(std::abs(samples[second + 100] - 0.25f) < 1e-3f);
    QVERIFY(std::abs(samples[second + 900] - 0.25f) < 1e-3f); // the new, longer file
}

void TestSoundDisk::newRequestCutsTheSoundStillPlaying()
{
    const QString file = dir_.filePath("cut.raw");
    const std::string tone = dir_.filePath("tone.wav").toStdString();
    const std::string click = dir_.filePath("click.wav").toStdString();
    cadrel_test::writeFile(tone, cadrel_test::wave16(48000, std::vector<float>(48000, 0.2f)));
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, clickSamples()));
    useDiskDriver(file);
    platform::Sound sound;
    settle(sound, {tone, click});
    const auto start = Clock::now();
    sound.play(tone, now(start));
    sound.play(click, now(start + 200ms));
    std::this_thread::sleep_for(1500ms);
    const auto samples = recorded(sound, file);
    const auto onsets = cadrel_test::findOnsets(samples, 0.5f, 4800);
    QCOMPARE(onsets.size(), std::size_t(1)); // the click
    const auto cut = std::size_t(onsets[0]) + 1;
    const int rate = sound.stats().rate;
    QVERIFY(std::abs(samples[cut - 100] - 0.2f) < 1e-3f); // the tone sounded until then
    // Once the click has died away, about 20 ms on, the rest of the one-second tone is gone.
    for (std::size_t i = cut + std::size_t(rate / 50); i < cut + std::size_t(rate / 2); ++i)
        QVERIFY2(std::abs(samples[i]) < 1e-3f, qPrintable(QString::number(i - cut)));
    QCOMPARE(sound.stats().stream.mixer.cut, std::int64_t(1));
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
        QVERIFY(!sound.stats().deviceOpen);
        while (Clock::now() - start < 2500ms) {
            sound.play("sn.wav", now(Clock::now()));
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
