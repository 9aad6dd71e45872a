// The click facility on a real sound server, PulseAudio or PipeWire (CADREL_SOUND_SERVER),
// started by scripts/null-sink.sh: its null sink's monitor is recorded with parec. A busy
// machine can make the server run dry and shift the clicks, so only what it cannot change is
// asserted: one click per request, in order, none lost, and silence when none is asked for.
// Skips when that server is not running.
#include "onset_finder.h"
#include "platform/sound/sound.h"
#include "sound_fixture.h"
#include "stderr_capture.h"
#include "wave_bytes.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace std::chrono_literals;
using Clock = platform::Sound::Clock;

namespace {

// Records the null sink's monitor of the server at PULSE_SERVER into `file` while it lives.
class Recording
{
public:
    explicit Recording(const QString &file)
    {
        parec_.setStandardOutputFile(file);
        parec_.start("parec", {"-d", "cadrel_null.monitor", "--format=s16le", "--rate=48000",
                               "--channels=1", "--latency-msec=100"});
    }
    ~Recording() { stop(); }
    bool started() { return parec_.waitForStarted(); }
    void stop()
    {
        parec_.terminate();
        parec_.waitForFinished();
    }

private:
    QProcess parec_;
};

// A beat of its own, due at `t`.
core::BeatTime now(Clock::time_point t)
{
    return {t, {}, 0};
}

bool serverRunning()
{
    const QString server = qEnvironmentVariable("PULSE_SERVER");
    return server.startsWith("unix:") && QFileInfo::exists(server.mid(5));
}

} // namespace

class TestSoundServer : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!serverRunning())
            QSKIP("no private sound server (scripts/null-sink.sh pulseaudio|pipewire start)");
    }
    void playsEachBeatOnceInOrder();
    void soundComesBackWithTheServer();
    void closesWithoutWaitingForAStuckServer_data();
    void closesWithoutWaitingForAStuckServer();
};

// Twelve beats a quarter of a second apart, and then nothing: twelve clicks in the recording,
// none doubled, and silence after them.
void TestSoundServer::playsEachBeatOnceInOrder()
{
    QTemporaryDir dir;
    const std::string click = dir.filePath("click.wav").toStdString();
    std::vector<float> samples(960);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.8 * std::exp(-double(i) / 60.0));
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, samples));

    platform::Sound sound;
    QVERIFY2(sound.stats().deviceOpen, "the sound server does not answer");
    QCOMPARE(sound.stats().outputKind, "PulseAudio");
    sound.prepare(click);
    QVERIFY(sound.filesLookedAt(10s));
    const QString file = dir.filePath("monitor.raw");
    Recording recording(file);
    QVERIFY2(recording.started(), "parec (pulseaudio-utils) is needed");
    // An idle null sink wakes slowly, and so does a new stream: start well ahead.
    std::this_thread::sleep_for(3s);
    constexpr int kBeats = 12;
    cadrel_test::playBeats(sound, click, 250ms, kBeats);
    std::this_thread::sleep_for(1500ms);
    recording.stop();

    const auto mono = cadrel_test::readRaw(file.toStdString(), "s16le", 1);
    const auto onsets = cadrel_test::findOnsets(mono, 0.3f, 2400);
    QCOMPARE(int(onsets.size()), kBeats);
    // Nothing after the last click has died away but the silence of the idle stream.
    const auto quiet = std::size_t(onsets.back()) + 4800;
    QVERIFY(mono.size() > quiet + 24000);
    for (std::size_t i = quiet; i < mono.size(); ++i)
        QVERIFY2(std::abs(mono[i]) < 1e-3f, qPrintable(QString::number(i - quiet)));
}

namespace {

// A second private server of the same kind, which the test stops and starts again.
class OwnServer
{
public:
    explicit OwnServer(const QString &dir) : dir_(dir) {}
    ~OwnServer() { run("stop"); }
    bool run(const char *command)
    {
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CADREL_SOUND_DIR", dir_);
        script.setProcessEnvironment(env);
        script.start(
            "sh", {CADREL_NULL_SINK_SCRIPT, qEnvironmentVariable("CADREL_SOUND_SERVER"), command});
        return script.waitForFinished(30000) && script.exitCode() == 0;
    }
    QString address() const { return "unix:" + dir_ + "/run/pulse/native"; }

private:
    QString dir_;
};

template <typename Condition> bool waitFor(Condition condition, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

} // namespace

// The server goes away while the program runs (a sound server restarted, a device unplugged),
// twice: each time the program carries on without sound, says once that the output was lost,
// looks for it again at most once a second, says when it is back, and clicks again, each click
// once (not twice on top of itself).
void TestSoundServer::soundComesBackWithTheServer()
{
    QTemporaryDir dir;
    OwnServer server(dir.filePath("server"));
    QVERIFY(server.run("start"));
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    const std::string click = dir.filePath("click.wav").toStdString();
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, std::vector<float>(480, 0.5f)));
    // Asked for while waiting for the output, so that only the beats below are heard.
    const std::string hush = dir.filePath("hush.wav").toStdString();
    cadrel_test::writeFile(hush, cadrel_test::wave16(48000, std::vector<float>(480, 0.0f)));
    cadrel_test::StderrCapture capture(dir.filePath("stderr.txt").toStdString());

    platform::Sound sound;
    QVERIFY(sound.stats().deviceOpen);
    sound.prepare(click);
    sound.prepare(hush);
    QVERIFY(sound.filesLookedAt(10s));
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(server.run("stop"));
        QVERIFY2(waitFor([&] { return !sound.stats().deviceOpen; }, 5s), "the loss went unnoticed");
        // Beats go on while there is no server: each returns at once, and the device is looked
        // for at most once a second.
        const int attempts = sound.stats().openAttempts;
        const auto lost = Clock::now();
        for (int k = 0; k < 12; ++k) {
            const auto before = Clock::now();
            sound.play(click, now(before));
            QVERIFY(Clock::now() - before < 2s); // no waiting for an output that is not there
            std::this_thread::sleep_for(100ms);
        }
        const auto seconds = std::chrono::duration<double>(Clock::now() - lost).count();
        QVERIFY(sound.stats().openAttempts - attempts <= int(seconds) + 1);

        QVERIFY(server.run("start"));
        const QString file = dir.filePath(QStringLiteral("back-%1.raw").arg(round));
        Recording recording(file);
        QVERIFY(recording.started());
        QVERIFY2(waitFor(
                     [&] {
                         sound.play(hush, now(Clock::now()));
                         return sound.stats().deviceOpen;
                     },
                     5s),
                 "the device did not come back");
        std::this_thread::sleep_for(3s); // the new stream and the recording both wake slowly
        cadrel_test::playBeats(sound, click, 300ms, 4);
        std::this_thread::sleep_for(1s);
        recording.stop();
        const auto mono = cadrel_test::readRaw(file.toStdString(), "s16le", 1);
        const auto onsets = cadrel_test::findOnsets(mono, 0.3f, 2400);
        QCOMPARE(onsets.size(), std::size_t(4));
        // Each click as loud as the others: none played twice on top of itself. (How loud one
        // is depends on the server's mixing down to the mono recording.)
        std::vector<float> peaks;
        for (const double onset : onsets) {
            const auto from = mono.begin() + std::ptrdiff_t(onset);
            peaks.push_back(std::abs(*std::max_element(
                from, from + 480, [](float a, float b) { return std::abs(a) < std::abs(b); })));
        }
        const auto [quietest, loudest] = std::minmax_element(peaks.begin(), peaks.end());
        QVERIFY2(*loudest < 1.1f * *quietest,
                 qPrintable(QStringLiteral("%1 to %2").arg(*quietest).arg(*loudest)));
    }
    const std::string text = capture.text();
    const auto count = [&](const char *what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    QCOMPARE(count("uscita audio persa"), std::size_t(2));
    QCOMPARE(count("uscita audio disponibile"), std::size_t(2));
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 4);
}

void TestSoundServer::closesWithoutWaitingForAStuckServer_data()
{
    QTest::addColumn<QByteArray>("driver");
    QTest::newRow("the program's own stream") << QByteArray();
    QTest::newRow("SDL's PulseAudio driver") << QByteArray("pulseaudio");
}

// A server that stops answering (hung, or stopped in a debugger) cannot keep the program from
// ending: the sound closes without waiting for it.
void TestSoundServer::closesWithoutWaitingForAStuckServer()
{
    QFETCH(QByteArray, driver);
    QTemporaryDir dir;
    OwnServer server(dir.filePath("server"));
    QVERIFY(server.run("start"));
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    qputenv("SDL_AUDIODRIVER", driver);
    auto sound = std::make_unique<platform::Sound>();
    qunsetenv("SDL_AUDIODRIVER");
    QVERIFY(sound->stats().deviceOpen);
    std::this_thread::sleep_for(500ms);
    QVERIFY(server.run("pause"));
    auto closing = std::async(std::launch::async, [&] { sound.reset(); });
    const bool closed = closing.wait_for(10s) == std::future_status::ready;
    QVERIFY(server.run("resume"));
    QVERIFY2(closed, "closing waited for the server");
}

QTEST_APPLESS_MAIN(TestSoundServer)
#include "tst_sound_server.moc"
