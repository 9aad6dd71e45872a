// The beat on a real sound server, PulseAudio or PipeWire (CADREL_SOUND_SERVER), started by
// scripts/null-sink.sh: its null sink's monitor is recorded with parec. A busy machine can make
// the server run dry and shift the clicks, so only what it cannot change is asserted: every beat
// said to be heard is heard once, none is heard that was not said, nothing after a stop, and the
// window's side never waits for the server. Skips when that server is not running.
#include "onset_finder.h"
#include "platform/sound/sound.h"
#include "stderr_capture.h"
#include "wave_bytes.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

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

// A click with a sharp attack, as sn.wav.
std::string writeClick(const QTemporaryDir &dir)
{
    const std::string click = dir.filePath("click.wav").toStdString();
    std::vector<float> samples(960);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.8 * std::exp(-double(i) / 60.0));
    cadrel_test::writeFile(click, cadrel_test::wave16(48000, samples));
    return click;
}

std::vector<double> onsetsIn(const QString &file)
{
    return cadrel_test::findOnsets(cadrel_test::readRaw(file.toStdString(), "s16le", 1), 0.3f,
                                   2400);
}

// A sound whose output is open, with the click read.
std::unique_ptr<platform::Sound> openSound(const std::string &click)
{
    auto sound = std::make_unique<platform::Sound>();
    sound->prepare(click);
    if (!sound->clips().waitUntilLookedAt(10s) || !sound->outputs().waitForLooks(1, 20s) ||
        !sound->stats().output.deviceOpen)
        return nullptr;
    sound->prepare(click);
    return sound;
}

// The state of the null sink: RUNNING while a stream plays into it, IDLE or SUSPENDED when
// none does (a corked stream does not).
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

class TestSoundServer : public QObject
{
    Q_OBJECT

    QByteArray server_ = qgetenv("PULSE_SERVER");

private slots:
    void init()
    {
        qputenv("PULSE_SERVER", server_); // the cases with a server of their own change it
        if (!serverRunning())
            QSKIP("no private sound server (scripts/null-sink.sh pulseaudio|pipewire start)");
    }
    void everyBeatSaidIsHeardOnce_data();
    void everyBeatSaidIsHeardOnce();
    void soundComesBackWithTheServer();
    void neverWaitsForAStuckServer_data();
    void neverWaitsForAStuckServer();
};

void TestSoundServer::everyBeatSaidIsHeardOnce_data()
{
    QTest::addColumn<int>("stopBeforeMs");
    // Stopped just after a beat, and shortly before one, when its click is in the server's
    // queue already and must be taken back from it.
    QTest::newRow("stop after a beat") << -5;
    QTest::newRow("stop with a click queued") << 25;
}

// Beats a quarter of a second apart and a stop: as many clicks in the recording as beats said
// to be heard, none doubled, and silence after the stop.
void TestSoundServer::everyBeatSaidIsHeardOnce()
{
    QFETCH(int, stopBeforeMs);
    QTemporaryDir dir;
    const auto sound = openSound(writeClick(dir));
    QVERIFY2(sound, "the sound server does not answer");
    QCOMPARE(sound->stats().output.output, "PulseAudio");
    QSignalSpy heard(sound.get(), &platform::Sound::heard);
    const QString file = dir.filePath("monitor.raw");
    Recording recording(file);
    QVERIFY2(recording.started(), "parec (pulseaudio-utils) is needed");
    QTest::qWait(2000); // a new recording wakes slowly
    sound->start(Clock::now(), 250);
    QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= 6, 20000);
    // The stop falls `stopBeforeMs` before the next beat is heard.
    std::optional<std::int64_t> next;
    QTRY_VERIFY_WITH_TIMEOUT((next = sound->engine().nextHeardNs()).has_value(), 5000);
    const auto stopAt = Clock::time_point(std::chrono::nanoseconds(*next) -
                                          std::chrono::milliseconds(stopBeforeMs));
    while (Clock::now() < stopAt)
        QTest::qWait(1);
    QCOMPARE(sinkState(), "RUNNING");
    sound->stop(Clock::now());
    const int beats = int(heard.count());
    QTest::qWait(1500);
    recording.stop();
    QCOMPARE(int(heard.count()), beats);
    // Stopped, the stream lets the device rest.
    QVERIFY2(sinkState() != "RUNNING", qPrintable(sinkState()));
    const auto onsets = onsetsIn(file);
    QCOMPARE(int(onsets.size()), beats);
    for (std::size_t k = 1; k < onsets.size(); ++k)
        QVERIFY(onsets[k] - onsets[k - 1] > 6000); // none twice
    // Nothing after the last click has died away but silence.
    const auto mono = cadrel_test::readRaw(file.toStdString(), "s16le", 1);
    const auto quiet = std::size_t(onsets.back()) + 4800;
    QVERIFY(mono.size() > quiet + 24000);
    for (std::size_t i = quiet; i < mono.size(); ++i)
        QVERIFY2(std::abs(mono[i]) < 1e-3f, qPrintable(QString::number(i - quiet)));
}

// The server goes away while the metronome beats (a sound server restarted, a device
// unplugged), twice: each time the beat goes on without sound, the program says once that the
// output was lost, looks for it again at most once a second, says when it is back, and the
// clicks come back, each once (not twice on top of itself).
void TestSoundServer::soundComesBackWithTheServer()
{
    QTemporaryDir dir;
    OwnServer server(dir.filePath("server"));
    QVERIFY(server.run("start"));
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    cadrel_test::StderrCapture capture(dir.filePath("stderr.txt").toStdString());
    const auto sound = openSound(writeClick(dir));
    QVERIFY(sound);
    QSignalSpy heard(sound.get(), &platform::Sound::heard);
    sound->start(Clock::now(), 300);
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(server.run("stop"));
        QTRY_VERIFY_WITH_TIMEOUT(!sound->stats().output.deviceOpen, 5000);
        // The beat goes on while there is no server, and the device is looked for at most
        // once a second.
        const int attempts = sound->stats().output.openAttempts;
        const int beats = int(heard.count());
        const auto lost = Clock::now();
        QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= beats + 4, 10000);
        const auto seconds = std::chrono::duration<double>(Clock::now() - lost).count();
        QVERIFY(sound->stats().output.openAttempts - attempts <= int(seconds) + 1);

        QVERIFY(server.run("start"));
        const QString file = dir.filePath(QStringLiteral("back-%1.raw").arg(round));
        Recording recording(file);
        QVERIFY(recording.started());
        QTRY_VERIFY_WITH_TIMEOUT(sound->stats().output.deviceOpen, 10000);
        QTest::qWait(2500); // the new stream and the recording both wake slowly
        const int from = int(heard.count());
        QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= from + 4, 10000);
        QTest::qWait(100);
        recording.stop();
        const auto mono = cadrel_test::readRaw(file.toStdString(), "s16le", 1);
        const auto onsets = cadrel_test::findOnsets(mono, 0.3f, 2400);
        QVERIFY(onsets.size() >= 5);
        // Each click as loud as the others: none played twice on top of itself. (How loud one
        // is depends on the server's mixing down to the mono recording.) The first may have
        // been under way when the recording woke.
        std::vector<float> peaks;
        for (const double onset : std::vector<double>(onsets.begin() + 1, onsets.end())) {
            const auto at = mono.begin() + std::ptrdiff_t(onset);
            peaks.push_back(std::abs(*std::max_element(
                at, at + 480, [](float a, float b) { return std::abs(a) < std::abs(b); })));
        }
        const auto [quietest, loudest] = std::minmax_element(peaks.begin(), peaks.end());
        QVERIFY2(*loudest < 1.1f * *quietest,
                 qPrintable(QStringLiteral("%1 to %2").arg(*quietest).arg(*loudest)));
    }
    sound->stop(Clock::now());
    const std::string text = capture.text();
    const auto count = [&](const char *what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    QCOMPARE(count("uscita audio persa"), std::size_t(2));
    QCOMPARE(count("uscita audio disponibile"), std::size_t(2));
}

void TestSoundServer::neverWaitsForAStuckServer_data()
{
    QTest::addColumn<QByteArray>("driver");
    QTest::addColumn<bool>("stuckAtLaunch");
    QTest::newRow("the program's own stream, stuck while beating") << QByteArray() << false;
    QTest::newRow("the program's own stream, stuck at launch") << QByteArray() << true;
    QTest::newRow("SDL's PulseAudio driver, stuck while beating")
        << QByteArray("pulseaudio") << false;
}

// A server that stops answering (hung, or stopped in a debugger), at launch or while the
// metronome beats: nothing the window's side does waits for it, the beat goes on, silent, and
// the sound closes without waiting for it.
void TestSoundServer::neverWaitsForAStuckServer()
{
    QFETCH(QByteArray, driver);
    QFETCH(bool, stuckAtLaunch);
    QTemporaryDir dir;
    OwnServer server(dir.filePath("server"));
    QVERIFY(server.run("start"));
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    qputenv("SDL_AUDIODRIVER", driver);
    if (stuckAtLaunch)
        QVERIFY(server.run("pause"));
    const auto made = Clock::now();
    auto sound = std::make_unique<platform::Sound>();
    sound->prepare(writeClick(dir));
    QSignalSpy heard(sound.get(), &platform::Sound::heard);
    // Well under the seconds a stuck server would hold anything that waited for it.
    QVERIFY(Clock::now() - made < 2s);
    if (stuckAtLaunch) {
        // The look for an output ends (ALSA is tried, not SDL's own PulseAudio driver, which
        // would wait for the stuck server without end), and the stand-in keeps the beat.
        QVERIFY(sound->outputs().waitForLooks(1, 20s));
        QVERIFY(!sound->stats().output.deviceOpen);
    } else {
        QVERIFY(sound->outputs().waitForLooks(1, 20s));
        QVERIFY(sound->stats().output.deviceOpen);
        QVERIFY(server.run("pause"));
    }
    const auto pressed = Clock::now();
    sound->start(pressed, 250);
    sound->setSoundOn(false);
    sound->setSoundOn(true);
    QVERIFY(Clock::now() - pressed < 2s);
    QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= 8, 20000);
    sound->stop(Clock::now());
    qunsetenv("SDL_AUDIODRIVER");
    auto closing = std::async(std::launch::async, [&] { sound.reset(); });
    const bool closed = closing.wait_for(10s) == std::future_status::ready;
    QVERIFY(server.run("resume"));
    QVERIFY2(closed, "closing waited for the server");
}

QTEST_GUILESS_MAIN(TestSoundServer)
#include "tst_sound_server.moc"
