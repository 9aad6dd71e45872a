#include "core/beat_rules.h"
#include "window/pendulum.h"

#include <QTest>

class BeatRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void advanceCount_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("next");
        QTest::newRow("first beat") << "0"
                                    << "1";
        QTest::newRow("carry") << "9"
                               << "10";
        QTest::newRow("carries through") << "1999"
                                         << "2000";
        QTest::newRow("past 16 bits") << "32767"
                                      << "32768";
        QTest::newRow("past 32 bits") << "2147483647"
                                      << "2147483648";
        QTest::newRow("past exact doubles") << "9007199254740992"
                                            << "9007199254740993";
        QTest::newRow("past 64 bits") << "18446744073709551615"
                                      << "18446744073709551616";
        QTest::newRow("no exponent ever") << "999999999999999999999"
                                          << "1000000000000000000000";
        QTest::newRow("leading zeros dropped") << "007"
                                               << "8";
        QTest::newRow("empty counts from zero") << ""
                                                << "1";
    }
    void advanceCount()
    {
        QFETCH(QString, count);
        QFETCH(QString, next);
        QCOMPARE(core::advanceCount(count), next);
    }

    void advancingManyTimesCountsEveryBeat()
    {
        QString count = "0";
        for (int i = 0; i < 100000; ++i)
            count = core::advanceCount(count);
        QCOMPARE(count, "100000");
    }

    void beatCaption_data()
    {
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("caption");
        QTest::newRow("minimised") << true << "12"
                                   << "Cadrel 12";
        QTest::newRow("shown") << false << "12"
                               << "Ritmolino";
        QTest::newRow("minimised, long count") << true << "123456789012"
                                               << "Cadrel 123456789012";
    }
    void beatCaption()
    {
        QFETCH(bool, minimised);
        QFETCH(QString, count);
        QFETCH(QString, caption);
        QCOMPARE(core::beatCaption(minimised, count), caption);
    }

    void soundPath_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("a folder") << QByteArray("/usr/lib/cadrel") << '/'
                                  << QByteArray("/usr/lib/cadrel/sn.wav");
        QTest::newRow("the root") << QByteArray("/") << '/' << QByteArray("//sn.wav");
        QTest::newRow("a drive's root") << QByteArray("C:\\") << '\\' << QByteArray("C:\\\\sn.wav");
        QTest::newRow("a Latin-1 name, kept as its bytes")
            << QByteArray("/home/ugo/citt\xe0") << '/' << QByteArray("/home/ugo/citt\xe0/sn.wav");
    }
    void soundPath()
    {
        QFETCH(QByteArray, folder);
        QFETCH(char, separator);
        QFETCH(QByteArray, path);
        QCOMPARE(QByteArray::fromStdString(core::soundPath(folder.toStdString(), separator)), path);
    }

    void pendulumPose_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("x2");
        QTest::addColumn<uint>("light");
        QTest::newRow("zero leans left") << "0" << 240 << 0x0000C0C0u;
        QTest::newRow("one leans right") << "1" << 4080 << 0x00C0FFFFu;
        QTest::newRow("even") << "12" << 240 << 0x0000C0C0u;
        QTest::newRow("odd") << "12345" << 4080 << 0x00C0FFFFu;
        QTest::newRow("odd past 32 bits") << "4294967297" << 4080 << 0x00C0FFFFu;
        QTest::newRow("even past 64 bits") << "18446744073709551616" << 240 << 0x0000C0C0u;
        QTest::newRow("blanks before") << "  7" << 4080 << 0x00C0FFFFu;
        QTest::newRow("no number is even") << "" << 240 << 0x0000C0C0u;
    }
    void pendulumPose()
    {
        QFETCH(QString, count);
        QFETCH(int, x2);
        QFETCH(uint, light);
        const window::PendulumPose pose = window::poseForCount(count);
        // The pivot never moves; the free end stands 3150 twips above it, to either side.
        QCOMPARE(pose.x1, 2040);
        QCOMPARE(pose.y1, 6000);
        QCOMPARE(pose.x2, x2);
        QCOMPARE(pose.y2, 2850);
        QCOMPARE(pose.light, light);
    }
};

QTEST_APPLESS_MAIN(BeatRulesTest)
#include "tst_beat_rules.moc"
