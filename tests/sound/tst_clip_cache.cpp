#include "platform/sound/clip_cache.h"
#include "platform/sound/clip_convert.h"
#include "wave_bytes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

// Captures what is written to standard error while it lives.
class StderrCapture
{
public:
    explicit StderrCapture(const std::string &path) : path_(path)
    {
        std::fflush(stderr);
        saved_ = dup(2);
        std::FILE *file = std::fopen(path.c_str(), "w");
        dup2(fileno(file), 2);
        std::fclose(file);
    }
    ~StderrCapture() { restore(); }
    std::string text()
    {
        restore();
        std::ifstream in(path_);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int saved_ = -1;
};

float firstSample(const platform::PcmClip &clip)
{
    return clip.samples.at(0);
}

} // namespace

class TestClipCache : public QObject
{
    Q_OBJECT

private slots:
    void noticesChanges_data();
    void noticesChanges();
    void missingFileGivesTheBeepAndOneLine();
    void convertsToTheOutputFormat();
};

void TestClipCache::noticesChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<float>("expectedFirst"); // 0 means the default beep
    QTest::addColumn<int>("expectedLoads");
    QTest::newRow("unchanged: not read again") << "none" << 0.5f << 1;
    QTest::newRow("rewritten, other length") << "longer" << 0.25f << 2;
    QTest::newRow("rewritten, same length, new time") << "same size" << 0.25f << 2;
    QTest::newRow("replaced by a renamed file") << "rename" << 0.25f << 2;
    QTest::newRow("removed") << "remove" << 0.0f << 2;
    QTest::newRow("made undecodable") << "garbage" << 0.0f << 2;
}

void TestClipCache::noticesChanges()
{
    QFETCH(QString, change);
    QFETCH(float, expectedFirst);
    QFETCH(int, expectedLoads);
    QTemporaryDir dir;
    const std::string path = dir.filePath("click.wav").toStdString();
    cadrel_test::writeFile(path, cadrel_test::wave16(48000, {0.5f, 0.1f, 0.0f}));

    platform::ClipCache cache;
    const auto before = cache.get(path, 48000, 1);
    QVERIFY(std::abs(firstSample(*before) - 0.5f) < 1e-3f);

    const auto later = std::filesystem::last_write_time(path) + std::chrono::seconds(2);
    if (change == "longer") {
        cadrel_test::writeFile(path, cadrel_test::wave16(48000, {0.25f, 0.1f, 0.0f, 0.0f}));
    } else if (change == "same size") {
        cadrel_test::writeFile(path, cadrel_test::wave16(48000, {0.25f, 0.1f, 0.0f}));
        std::filesystem::last_write_time(path, later); // a coarse clock could keep the old time
    } else if (change == "rename") {
        const std::string other = dir.filePath("new.wav").toStdString();
        cadrel_test::writeFile(other, cadrel_test::wave16(48000, {0.25f, 0.1f, 0.0f, 0.0f, 0.0f}));
        std::filesystem::rename(other, path);
    } else if (change == "remove") {
        std::filesystem::remove(path);
    } else if (change == "garbage") {
        cadrel_test::writeFile(path, std::vector<std::uint8_t>(60, 0x41));
        std::filesystem::last_write_time(path, later);
    }
    StderrCapture capture(dir.filePath("stderr.txt").toStdString());
    const auto after = cache.get(path, 48000, 1);
    capture.text();
    QCOMPARE(cache.loads(), expectedLoads);
    if (expectedFirst == 0.0f) {
        const auto beep = platform::makeDefaultBeep(48000, 1);
        QCOMPARE(after->samples, beep.samples);
    } else {
        QVERIFY(std::abs(firstSample(*after) - expectedFirst) < 1e-3f);
    }
}

void TestClipCache::missingFileGivesTheBeepAndOneLine()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("nowhere/sn.wav").toStdString();
    platform::ClipCache cache;
    StderrCapture capture(dir.filePath("stderr.txt").toStdString());
    const auto first = cache.get(path, 44100, 2);
    const auto second = cache.get(path, 44100, 2);
    const std::string text = capture.text();
    QCOMPARE(first->samples, platform::makeDefaultBeep(44100, 2).samples);
    QCOMPARE(second.get(), first.get());
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 1);
    QVERIFY2(text.find(path) != std::string::npos, text.c_str());
}

void TestClipCache::convertsToTheOutputFormat()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("click.wav").toStdString();
    cadrel_test::writeFile(path, cadrel_test::wave16(24000, {0.5f, 0.5f, 0.5f}));
    platform::ClipCache cache;
    const auto clip = cache.get(path, 48000, 2);
    QCOMPARE(clip->rate, 48000);
    QCOMPARE(clip->channels, 2);
    QCOMPARE(clip->frames(), std::size_t(5));
    const auto again = cache.get(path, 44100, 1); // the output changed: converted anew
    QCOMPARE(again->rate, 44100);
    QCOMPARE(again->channels, 1);
    QCOMPARE(cache.loads(), 2);
}

QTEST_APPLESS_MAIN(TestClipCache)
#include "tst_clip_cache.moc"
