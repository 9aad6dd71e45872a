// A sound server that stops answering (hung, or stopped in a debugger), at launch or while the
// metronome beats, PulseAudio or PipeWire (CADREL_SOUND_SERVER) as scripts/null-sink.sh starts
// them: nothing waits for it. Skips when that kind of server cannot be started.
#include "live_server.h"
#include "sound_probe.h"

#include <future>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using namespace cadrel_test;
using Clock = std::chrono::steady_clock;

class TestStuckServer : public QObject
{
    Q_OBJECT

    QByteArray server_ = qgetenv("PULSE_SERVER");

private slots:
    void init()
    {
        qputenv("PULSE_SERVER", server_); // each case starts a server of its own
        if (!serverRunning())
            QSKIP("no private sound server (scripts/null-sink.sh pulseaudio|pipewire start)");
    }

    void neverWaitsForAStuckServer_data()
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
    void neverWaitsForAStuckServer()
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
            QVERIFY(
                platform::SoundProbe::waitForLooks(platform::SoundProbe::outputs(*sound), 1, 20s));
            QVERIFY(!sound->stats().output.deviceOpen);
        } else {
            QVERIFY(
                platform::SoundProbe::waitForLooks(platform::SoundProbe::outputs(*sound), 1, 20s));
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
};

QTEST_GUILESS_MAIN(TestStuckServer)
#include "tst_stuck_server.moc"
