// The metronome without a window: what each of the user's actions and each beat heard does to
// the tempo, the run state, the count, the sound and the runs it asks of the beat source.
#include "core/metronome.h"
#include "test_beats.h"

#include <QSignalSpy>
#include <QTest>

using core::Metronome;
using core::RunState;

class MetronomeTest : public QObject
{
    Q_OBJECT

    TestBeats source;
    std::unique_ptr<Metronome> metronome;

    // Applies a script of actions: s (start or stop), b (a beat heard), m (sound off), u (sound
    // on), and "=120" for a tempo.
    void act(const QString &script)
    {
        for (qsizetype i = 0; i < script.size(); ++i) {
            const QChar c = script[i];
            if (c == 's')
                metronome->startOrStop();
            else if (c == 'b')
                metronome->beatHeard();
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
        source = {};
        metronome = std::make_unique<Metronome>(source, "/opt/cadrel/sn.wav");
    }

    void actions_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("state"); // RunState
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<QList<double>>("runs");
        QTest::addColumn<int>("stops");
        const int never = int(RunState::NeverStarted), running = int(RunState::Running),
                  stopped = int(RunState::Stopped);
        const int slowest = core::kSlowestTempo, fastest = core::kFastestTempo;
        const double slowestPeriod = core::beatPeriodMs(slowest);
        const double fastestPeriod = core::beatPeriodMs(fastest);
        // clang-format off
        QTest::newRow("beats before the first start do nothing")
            << "bbb" << never << "0" << slowest << QList<double>{} << 0;
        QTest::newRow("start begins a run on the tempo; each beat heard counts")
            << "sbbb" << running << "3" << slowest << QList<double>{slowestPeriod} << 0;
        QTest::newRow("stop keeps the count; beats after it do nothing")
            << "sbbsb" << stopped << "2" << slowest << QList<double>{slowestPeriod} << 1;
        QTest::newRow("start again counts on")
            << "sbbsbsb" << running << "3" << slowest
            << QList<double>{slowestPeriod, slowestPeriod} << 1;
        QTest::newRow("no sound: still counted")
            << "smbbbub" << running << "4" << slowest << QList<double>{slowestPeriod} << 0;
        QTest::newRow("a tempo while stopped begins no run")
            << "=120" << never << "0" << 120 << QList<double>{} << 0;
        QTest::newRow("a tempo while running begins a new run")
            << "sb=200b" << running << "2" << 200 << QList<double>{slowestPeriod, 300.0} << 0;
        QTest::newRow("the tempo it has begins no new run")
            << "s=120=120" << running << "0" << 120 << QList<double>{slowestPeriod, 500.0} << 0;
        QTest::newRow("130 keeps its exact period")
            << "=130s" << running << "0" << 130 << QList<double>{60000.0 / 130} << 0;
        QTest::newRow("above the range: the fastest")
            << "s=999" << running << "0" << fastest << QList<double>{slowestPeriod, fastestPeriod}
            << 0;
        QTest::newRow("below the range: the slowest")
            << "=100s=001" << running << "0" << slowest
            << QList<double>{600.0, slowestPeriod} << 0;
        // clang-format on
    }
    void actions()
    {
        QFETCH(QString, script);
        QFETCH(int, state);
        QFETCH(QString, count);
        QFETCH(int, tempo);
        QFETCH(QList<double>, runs);
        QFETCH(int, stops);
        act(script);
        QCOMPARE(int(metronome->runState()), state);
        QCOMPARE(metronome->count(), count);
        QCOMPARE(metronome->tempo(), tempo);
        QCOMPARE(QList<double>(source.runs.begin(), source.runs.end()), runs);
        QCOMPARE(source.stops, stops);
    }

    // The beat source hears of the click's path, the sound choice, and of presses at the moment
    // they happen.
    void handsTheSoundChoiceAndThePressOn()
    {
        QCOMPARE(source.prepared, "/opt/cadrel/sn.wav");
        QVERIFY(metronome->soundOn());
        act("m");
        QVERIFY(!source.soundOn);
        act("u");
        QVERIFY(source.soundOn);
        const auto before = core::BeatSource::Clock::now();
        act("ss");
        QCOMPARE(source.presses.size(), std::size_t(2));
        QVERIFY(source.presses[0] >= before && source.presses[1] >= source.presses[0]);
        QVERIFY(source.presses[1] <= core::BeatSource::Clock::now());
    }

    // A beat says its count. The source's stop comes before the metronome stops, so a beat
    // heard up to the press (reported as the source stops) still counts.
    void aBeatHeardAtTheStopStillCounts()
    {
        struct HeardAtStop : TestBeats {
            Metronome *metronome = nullptr;
            void stop(Clock::time_point) override { metronome->beatHeard(); }
        } source;
        Metronome stopping(source, "sn.wav");
        source.metronome = &stopping;
        QSignalSpy beats(&stopping, &Metronome::beat);
        stopping.startOrStop();
        stopping.startOrStop();
        QCOMPARE(stopping.runState(), RunState::Stopped);
        QCOMPARE(beats.count(), 1);
        QCOMPARE(beats.front().front().toString(), "1");
    }

    // It says when each of its facts changes, and only then.
    void saysWhatChanges()
    {
        QSignalSpy states(metronome.get(), &Metronome::runStateChanged);
        QSignalSpy tempos(metronome.get(), &Metronome::tempoChanged);
        QSignalSpy sounds(metronome.get(), &Metronome::soundChanged);
        act("ss=200=200=999uumm");
        QCOMPARE(states.count(), 2);
        QCOMPARE(states[0][0].value<RunState>(), RunState::Running);
        QCOMPARE(states[1][0].value<RunState>(), RunState::Stopped);
        QCOMPARE(tempos.count(), 2);
        QCOMPARE(tempos[0][0].toInt(), 200);
        QCOMPARE(tempos[1][0].toInt(), core::kFastestTempo);
        QCOMPARE(sounds.count(), 1);
        QCOMPARE(sounds[0][0].toBool(), false);
    }
};

QTEST_GUILESS_MAIN(MetronomeTest)
#include "tst_metronome.moc"
