// The metronome without a window: what each of the user's actions and each tick of the beat
// timer does to the tempo, the run state, the count, the sound and the timer.
#include "core/metronome.h"

#include <QSignalSpy>
#include <QTest>

using core::Metronome;
using core::RunState;

namespace {

// A beat timer that notes how it was restarted and never ticks by itself.
struct NotedTimer : core::BeatTimer {
    void restart(int intervalMs, core::BeatTime::Period period) override
    {
        interval = intervalMs;
        this->period = period;
        ++restarts;
    }
    int interval = 0;
    core::BeatTime::Period period{0};
    int restarts = 0;
};

// A click player that notes what it was asked to play.
struct NotedPlayer : core::ClickPlayer {
    void prepare(const std::string &path) override { prepared = path; }
    void play(const std::string &path, const core::BeatTime &beat) override
    {
        played.push_back(path);
        dues.push_back(beat.due());
    }
    std::string prepared;
    std::vector<std::string> played;
    std::vector<core::BeatTime::Clock::time_point> dues;
};

core::BeatTime tickAt(std::int64_t index)
{
    return {core::BeatTime::Clock::time_point(std::chrono::seconds(100)),
            std::chrono::milliseconds(250), index};
}

} // namespace

class MetronomeTest : public QObject
{
    Q_OBJECT

    NotedTimer timer;
    NotedPlayer player;
    std::unique_ptr<Metronome> metronome;

    // Applies a script of actions: s (start or stop), t (a tick), m (sound off), u (sound on),
    // and digits for a tempo ("t120" is not meant: a tempo is "=120").
    void act(const QString &script)
    {
        for (qsizetype i = 0; i < script.size(); ++i) {
            const QChar c = script[i];
            if (c == 's')
                metronome->startOrStop();
            else if (c == 't')
                metronome->tick(tickAt(i + 1));
            else if (c == 'm')
                metronome->setSoundOn(false);
            else if (c == 'u')
                metronome->setSoundOn(true);
            else if (c == '=') {
                metronome->setTempo(script.mid(i + 1, 3).toInt());
                i += 3;
            }
        }
    }

private slots:
    void init()
    {
        timer = {};
        player = {};
        metronome = std::make_unique<Metronome>(timer, player, "/opt/cadrel/sn.wav");
    }

    void startsAsDesigned()
    {
        QCOMPARE(metronome->tempo(), 40);
        QCOMPARE(metronome->runState(), RunState::NeverStarted);
        QCOMPARE(metronome->count(), "0");
        QVERIFY(metronome->soundOn());
        // The timer runs from the start on its first interval, not yet on the tempo's.
        QCOMPARE(timer.interval, 1000);
        QCOMPARE(timer.restarts, 1);
        QCOMPARE(player.prepared, "/opt/cadrel/sn.wav");
    }

    void actions_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("state"); // RunState
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("restarts");
        const int never = int(RunState::NeverStarted), running = int(RunState::Running),
                  stopped = int(RunState::Stopped);
        QTest::newRow("ticks before the first start do nothing")
            << "ttt" << never << "0" << 0 << 1000 << 1;
        QTest::newRow("start applies the tempo") << "s" << running << "0" << 0 << 1500 << 2;
        QTest::newRow("each running tick is a sounded beat")
            << "sttt" << running << "3" << 3 << 1500 << 2;
        QTest::newRow("stop keeps the count, restarts the timer")
            << "sttst" << stopped << "2" << 2 << 1500 << 3;
        QTest::newRow("start again counts on") << "sttstst" << running << "3" << 3 << 1500 << 4;
        QTest::newRow("no sound: counted, not heard")
            << "smtttut" << running << "4" << 1 << 1500 << 2;
        QTest::newRow("a tempo re-times the timer") << "=120" << never << "0" << 0 << 500 << 2;
        QTest::newRow("a tempo while running") << "st=250t" << running << "2" << 2 << 240 << 3;
        QTest::newRow("130 keeps its exact period") << "=130s" << running << "0" << 0 << 461 << 3;
    }
    void actions()
    {
        QFETCH(QString, script);
        QFETCH(int, state);
        QFETCH(QString, count);
        QFETCH(int, clicks);
        QFETCH(int, interval);
        QFETCH(int, restarts);
        act(script);
        QCOMPARE(int(metronome->runState()), state);
        QCOMPARE(metronome->count(), count);
        QCOMPARE(int(player.played.size()), clicks);
        QCOMPARE(timer.interval, interval);
        QCOMPARE(timer.restarts, restarts);
        QCOMPARE(timer.period.count(), interval == 1000 && metronome->tempo() == 40
                                           ? 1000e6
                                           : 60000e6 / metronome->tempo());
    }

    // A beat says its count and plays the click on the tick's own due time, in that order.
    void aBeatPlaysThenCounts()
    {
        QSignalSpy beats(metronome.get(), &Metronome::beat);
        metronome->startOrStop();
        QCOMPARE(player.played.size(), std::size_t(0));
        metronome->tick(tickAt(7));
        QCOMPARE(player.played, std::vector<std::string>{"/opt/cadrel/sn.wav"});
        QCOMPARE(player.dues.front(), tickAt(7).due());
        QCOMPARE(beats.count(), 1);
        QCOMPARE(beats.front().front().toString(), "1");
    }

    void saysWhenItStartsAndStops()
    {
        QSignalSpy states(metronome.get(), &Metronome::runStateChanged);
        QSignalSpy tempos(metronome.get(), &Metronome::tempoApplied);
        act("ss=200");
        QCOMPARE(states.count(), 2);
        QCOMPARE(states[0][0].value<RunState>(), RunState::Running);
        QCOMPARE(states[1][0].value<RunState>(), RunState::Stopped);
        QCOMPARE(tempos.count(), 1);
        QCOMPARE(tempos[0][0].toInt(), 200);
    }
};

QTEST_GUILESS_MAIN(MetronomeTest)
#include "tst_metronome.moc"
