// The click facility end to end on SDL's disk driver, which writes exactly what the audio
// callback produced. Its clock runs a few percent off real time, so spacings are compared with
// each other, never with the wall clock.
#include "onset_finder.h"
#include "platform/sound/sound.h"
#include "wave_bytes.h"

#include <algorithm>
#include <cmath>
#include <QTemporaryDir>
#include <QTest>
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

// The first channel of what the disk driver wrote for `sound`.
std::vector<float> recorded(const platform::Sound &sound, const QString &file)
{
    const auto stats = sound.stats();
    if (stats.format != AUDIO_F32SYS)
        return {};
    return cadrel_test::readRaw(file.toStdString(), "f32le", stats.channels);
}

// Lets the output stream start and its clock lock before the first request.
void settle()
{
    std::this_thread::sleep_for(1500ms);
}

} // namespace

class TestSoundDisk : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void placesGridRequestsOnEvenlySpacedFrames_data();
    void placesGridRequestsOnEvenlySpacedFrames();
    void missingFilePlaysTheDefaultBeep();
    void changedFileIsPickedUp();
    void newRequestCutsTheSoundStillPlaying();
    void runsOnWithoutADevice();

private:
    QTemporaryDir dir_;
};

void TestSoundDisk::placesGridRequestsOnEvenlySpacedFrames_data()
{
    QTest::addColumn<bool>("naive");
    QTest::addColumn<bool>("expectEven");
    // The naive row proves the check bites: starting each click at the next buffer spreads the
    // spacing by a whole buffer, since the beat (97 ms) is no whole number of buffers.
    QTest::newRow("placed by due time") << false << true;
    QTest::newRow("naive: at the next buffer") << true << false;
}

void TestSoundDisk::placesGridRequestsOnEvenlySpacedFrames()
{
    QFETCH(bool, naive);
    QFETCH(bool, expectEven);
    const std::string click = dir_.filePath("click.wav").toStdString();
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, clickSamples()));
    constexpr int kBeats = 16;
    constexpr auto kPeriod = 97ms;
    // The disk driver's clock is its own thread sleeping from buffer to buffer: when that thread
    // stalls, what it wrote moves against real time for good, and no placing can undo that. A
    // run in which the facility saw the driver's timeline move proves nothing either way and
    // is made again; the last attempt counts whatever happens.
    constexpr int kAttempts = 3;
    std::vector<double> onsets;
    int rate = 0;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const QString file =
            dir_.filePath(QStringLiteral("%1-%2.raw").arg(naive ? "naive" : "placed").arg(attempt));
        useDiskDriver(file);
        platform::SoundOptions options;
        options.naive = naive;
        platform::Sound sound(options);
        QVERIFY(sound.stats().deviceOpen);
        settle();
        settle(); // and let the clock narrow its loop, as it has by the time a user starts
        const auto before = sound.stats();
        const auto start = Clock::now();
        for (int k = 0; k < kBeats; ++k) {
            const auto due = start + k * kPeriod;
            std::this_thread::sleep_until(due + 1ms); // a timer tick comes a little late
            sound.play(click, due);
        }
        std::this_thread::sleep_for(500ms);
        const auto after = sound.stats();
        rate = after.rate;
        qInfo("clock: %d restarts, %d jumps, %.1f frames/s", after.clockRestarts, after.clockSteps,
              after.measuredRate);
        QCOMPARE(after.mixer.late, std::int64_t(0));
        const auto samples = recorded(sound, file);
        QVERIFY(!samples.empty());
        onsets = cadrel_test::findOnsets(samples, 0.3f, rate / 20);
        const bool moved =
            after.clockRestarts != before.clockRestarts || after.clockSteps != before.clockSteps;
        if (!moved || attempt == kAttempts)
            break;
        qWarning("the disk driver's timeline moved during attempt %d; running again", attempt);
    }
    QCOMPARE(int(onsets.size()), kBeats);
    const auto figures = cadrel_test::measureOnsets(onsets, rate, 0);
    qInfo("spacing spread %.4f ms, std dev %.4f ms", figures.spread, figures.stdDev);
    if (expectEven)
        QVERIFY2(figures.spread <= 1.0, qPrintable(QString::number(figures.spread)));
    else
        QVERIFY2(figures.spread > 1.0, qPrintable(QString::number(figures.spread)));
}

void TestSoundDisk::missingFilePlaysTheDefaultBeep()
{
    const QString file = dir_.filePath("missing.raw");
    useDiskDriver(file);
    platform::Sound sound;
    settle();
    sound.play(dir_.filePath("no-such-file.wav").toStdString(), Clock::now());
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
    settle();
    sound.play(click, Clock::now());
    std::this_thread::sleep_for(300ms);
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, std::vector<float>(960, 0.25f)));
    sound.play(click, Clock::now());
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
    settle();
    const auto start = Clock::now();
    sound.play(tone, start);
    sound.play(click, start + 200ms);
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
    QCOMPARE(sound.stats().mixer.cut, std::int64_t(1));
}

void TestSoundDisk::runsOnWithoutADevice()
{
    qputenv("SDL_AUDIODRIVER", "pulseaudio");
    qputenv("PULSE_SERVER", "unix:/nonexistent/cadrel-test-socket");
    platform::Sound sound;
    QVERIFY(!sound.stats().deviceOpen);
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        sound.play("sn.wav", Clock::now());
        std::this_thread::sleep_for(10ms);
    }
    // Looked for again at most once a second.
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    QVERIFY(sound.stats().openAttempts <= 1 + int(elapsed));
    std::this_thread::sleep_for(1100ms);
    sound.play("sn.wav");
    QVERIFY(sound.stats().openAttempts >= 2);
    QVERIFY(!sound.stats().deviceOpen);
    QVERIFY(sound.outputLatency() > 0ns);
}

QTEST_APPLESS_MAIN(TestSoundDisk)
#include "tst_sound_disk.moc"
