// The click files, read away from the beat: what a change of the file gives, what a file that
// cannot be played gives (the beep, and one line saying why), and what is kept of a huge one.
#include "platform/sound/clip_loader.h"
#include "platform/sound/default_beep.h"
#include "sound_probe.h"
#include "stderr_capture.h"
#include "wave_bytes.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace std::chrono_literals;
using platform::ClipLoader;

namespace {

bool isBeep(const platform::PcmClip &clip)
{
    return clip.samples == platform::makeDefaultBeep(clip.rate, clip.channels).samples;
}

// The clip once the loader has looked at the file, with no look left under way.
std::shared_ptr<const platform::PcmClip> settled(ClipLoader &loader, const std::string &path)
{
    loader.clip(path, 48000, 1);
    if (!platform::SoundProbe::waitUntilLookedAt(loader, 10s))
        return nullptr;
    auto clip = loader.clip(path, 48000, 1);
    return platform::SoundProbe::waitUntilLookedAt(loader, 10s) ? clip : nullptr;
}

// The first sample of a clip, against a level written as 16 bits.
bool startsAt(const std::shared_ptr<const platform::PcmClip> &clip, float level)
{
    return clip && std::abs(clip->samples.front() - level) < 1e-3f;
}

} // namespace

class TestClipLoader : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void noticesChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<float>("expectedFirst"); // 0 means the beep
        QTest::addColumn<int>("expectedLoads");
        QTest::newRow("unchanged: not read again") << "none" << 0.5f << 1;
        QTest::newRow("rewritten, other length") << "longer" << 0.25f << 2;
        QTest::newRow("rewritten, same length, new time") << "same size" << 0.25f << 2;
        QTest::newRow("replaced by a renamed file") << "rename" << 0.25f << 2;
        QTest::newRow("made undecodable") << "garbage" << 0.0f << 1;
    }

    void noticesChanges()
    {
        QFETCH(QString, change);
        QFETCH(float, expectedFirst);
        QFETCH(int, expectedLoads);
        const std::string click = path("click.wav");
        cadrel_test::writeFile(click, cadrel_test::wave16(48000, {0.5f, 0.1f, 0.0f}));
        ClipLoader loader;
        // The caller gets an answer at once, never reading on its thread: before the file has
        // been read, the beep.
        QVERIFY(isBeep(*loader.clip(click, 48000, 1)));
        QVERIFY(startsAt(settled(loader, click), 0.5f));

        const auto later = std::filesystem::last_write_time(click) + std::chrono::seconds(2);
        if (change == "longer") {
            cadrel_test::writeFile(click, cadrel_test::wave16(48000, {0.25f, 0.1f, 0.0f, 0.0f}));
        } else if (change == "same size") {
            cadrel_test::writeFile(click, cadrel_test::wave16(48000, {0.25f, 0.1f, 0.0f}));
            std::filesystem::last_write_time(click,
                                             later); // a coarse clock could keep the old time
        } else if (change == "rename") {
            cadrel_test::writeFile(path("new.wav"),
                                   cadrel_test::wave16(48000, {0.25f, 0.1f, 0.0f, 0.0f, 0.0f}));
            std::filesystem::rename(path("new.wav"), click);
        } else if (change == "garbage") {
            cadrel_test::writeFile(click, std::vector<std::uint8_t>(60, 0x41));
            std::filesystem::last_write_time(click, later);
        }
        cadrel_test::StderrCapture capture(path("stderr.txt"));
        const auto after = settled(loader, click);
        capture.text();
        QCOMPARE(platform::SoundProbe::loads(loader), expectedLoads);
        if (expectedFirst == 0.0f)
            QVERIFY(isBeep(*after));
        else
            QVERIFY(startsAt(after, expectedFirst));
    }

    void fileThatCannotBePlayedGivesTheBeep_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        // One of each way a look fails: no file, no regular file, no sound read from it. (What
        // each kind of file is called is tst_click_file's.)
        QTest::newRow("missing") << "missing"
                                 << "non esiste";
        QTest::newRow("a named pipe nobody writes to") << "pipe"
                                                       << "pipe";
        QTest::newRow("not a sound file") << "text"
                                          << "non è un file audio leggibile (";
    }

    // Nothing ends the program or holds the loader: the beep, and one line saying why.
    void fileThatCannotBePlayedGivesTheBeep()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        const std::string click = path("sn.wav");
        if (kind == "pipe")
            QCOMPARE(::mkfifo(click.c_str(), 0600), 0);
        else if (kind == "text")
            cadrel_test::writeFile(click, std::vector<std::uint8_t>(100000, 'x'));
        cadrel_test::StderrCapture capture(path("stderr.txt"));
        ClipLoader loader;
        const auto clip = settled(loader, click);
        const auto again = settled(loader, click);
        const std::string text = capture.text();
        QVERIFY(clip && isBeep(*clip));
        QCOMPARE(again.get(), clip.get());
        QCOMPARE(cadrel_test::occurrences(text, "\n"), std::size_t(1));
        QVERIFY2(text.find(click) != std::string::npos &&
                     text.find(why.toStdString()) != std::string::npos,
                 text.c_str());
    }

    void saysOnceWhenAFileIsUnusableAndOnceWhenItIsBack()
    {
        const std::string click = path("sn.wav");
        cadrel_test::StderrCapture capture(path("stderr.txt"));
        ClipLoader loader;
        settled(loader, click); // missing
        settled(loader, click);
        cadrel_test::writeFile(click, cadrel_test::wave16(48000, {0.5f}));
        QVERIFY(startsAt(settled(loader, click), 0.5f));
        settled(loader, click);
        std::filesystem::remove(click);
        QVERIFY(isBeep(*settled(loader, click)));
        const std::string text = capture.text();
        QCOMPARE(cadrel_test::occurrences(text, "\n"),
                 std::size_t(3)); // missing, back, missing again
        QVERIFY2(text.find("di nuovo") != std::string::npos, text.c_str());
    }

    // A click is a fraction of a second; of a huge file only the first ten seconds are read.
    void keepsTheFirstTenSecondsOfAHugeFile()
    {
        const std::string click = path("huge.wav");
        cadrel_test::writeFile(click,
                               cadrel_test::wave16(48000, std::vector<float>(48000 * 60, 0.25f)));
        ClipLoader loader;
        const auto clip = settled(loader, click);
        QCOMPARE(clip->frames(), std::size_t(48000 * ClipLoader::kLongestSeconds));
        QVERIFY(std::abs(clip->samples.back() - 0.25f) < 1e-3f);
    }

    void convertsToTheOutputFormat()
    {
        const std::string click = path("click.wav");
        cadrel_test::writeFile(click, cadrel_test::wave16(24000, std::vector<float>(2400, 0.5f)));
        cadrel_test::StderrCapture capture(path("stderr.txt"));
        ClipLoader loader;
        loader.clip(click, 48000, 2);
        QVERIFY(platform::SoundProbe::waitUntilLookedAt(loader, 10s));
        const auto clip = loader.clip(click, 48000, 2);
        QCOMPARE(clip->rate, 48000);
        QCOMPARE(clip->channels, 2);
        QVERIFY(clip->frames() >= 4799 && clip->frames() <= 4801);
        QVERIFY(std::abs(clip->samples[2 * 2400] - 0.5f) < 1e-3f);
        loader.clip(click, 44100, 1); // the output changed: converted anew
        QVERIFY(platform::SoundProbe::waitUntilLookedAt(loader, 10s));
        const auto again = loader.clip(click, 44100, 1);
        QCOMPARE(again->rate, 44100);
        QCOMPARE(again->channels, 1);
        QCOMPARE(platform::SoundProbe::loads(loader), 2);
        QCOMPARE(capture.text(), std::string()); // a file that plays is not spoken of
    }

private:
    std::string path(const char *name) const { return dir_->filePath(name).toStdString(); }
    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_APPLESS_MAIN(TestClipLoader)
#include "tst_clip_loader.moc"
