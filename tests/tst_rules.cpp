// The metronome's pure rules, by tables: the beat's period, the tempo's caption, what may be typed
// and what it means, the count, the caption, and the pendulum's pose.
#include "core/beat_rules.h"
#include "core/tempo_rules.h"

#include <QTest>

class RulesTest : public QObject
{
    Q_OBJECT

private slots:
    void beatPeriod_data()
    {
        QTest::addColumn<int>("tempo");
        QTest::addColumn<double>("period");
        QTest::newRow("40") << 40 << 1500.0;
        QTest::newRow("120") << 120 << 500.0;
        QTest::newRow("130 keeps its fraction") << 130 << 461.53846153846155;
        QTest::newRow("249 is not 250") << 249 << 240.96385542168676;
        QTest::newRow("250") << 250 << 240.0;
    }
    void beatPeriod()
    {
        QFETCH(int, tempo);
        QFETCH(double, period);
        QCOMPARE(core::beatPeriodMs(tempo), period);
    }

    void tempoCaption_data()
    {
        QTest::addColumn<int>("tempo");
        QTest::addColumn<QString>("caption");
        QTest::newRow("two spaces before the tempo") << 40 << "Bpm  40";
        QTest::newRow("three digits") << 250 << "Bpm  250";
    }
    void tempoCaption()
    {
        QFETCH(int, tempo);
        QFETCH(QString, caption);
        QCOMPARE(core::tempoCaption(u"Bpm", tempo), caption);
    }

    void keyFilter_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("kept");
        // clang-format off
        QTest::newRow("0") << int('0') << true;
        QTest::newRow("9") << int('9') << true;
        QTest::newRow("backspace") << 8 << true;
        QTest::newRow("slash, just below 0") << int('/') << false;
        QTest::newRow("colon, just above 9") << int(':') << false;
        QTest::newRow("letter") << int('a') << false;
        QTest::newRow("minus") << int('-') << false;
        QTest::newRow("enter") << 13 << false;
        QTest::newRow("ctrl+c, ctrl+v, ctrl+x") << 22 << false;
        QTest::newRow("CJK, negative as a signed code") << int(std::int16_t(0x8BF4)) << false;
        QTest::newRow("arabic-indic one") << 0x0661 << false;
        // clang-format on
    }
    void keyFilter()
    {
        QFETCH(int, code);
        QFETCH(bool, kept);
        auto key = static_cast<std::int16_t>(code);
        core::filterTempoKey(key);
        QCOMPARE(key, kept ? static_cast<std::int16_t>(code) : std::int16_t(0));
    }

    void tempoFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tempo"); // 0: no tempo
        // clang-format off
        QTest::newRow("slowest") << QString::number(core::kSlowestTempo) << core::kSlowestTempo;
        QTest::newRow("fastest") << QString::number(core::kFastestTempo) << core::kFastestTempo;
        QTest::newRow("leading zeros") << "000000000000000000120" << 120;
        QTest::newRow("blanks around") << " \t120 " << 120;
        QTest::newRow("second digit of 140") << "14" << 0;
        QTest::newRow("just below") << QString::number(core::kSlowestTempo - 1) << 0;
        QTest::newRow("just above") << QString::number(core::kFastestTempo + 1) << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("signed") << "+50" << 0;
        QTest::newRow("decimal") << "120.5" << 0;
        QTest::newRow("exponent") << "1e2" << 0;
        QTest::newRow("inner blank") << "1 20" << 0;
        QTest::newRow("past 32 bits") << "2147483648" << 0;
        QTest::newRow("past 64 bits") << "99999999999999999999999" << 0;
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("\u0661\u0662\u0660") << 0;
        QTest::newRow("fullwidth digits") << QString::fromUtf8("\uFF11\uFF12\uFF10") << 0;
        // clang-format on
    }
    void tempoFromText()
    {
        QFETCH(QString, text);
        QFETCH(int, tempo);
        QCOMPARE(core::tempoFromText(text).value_or(0), tempo);
    }

    void advanceCount_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("next");
        QTest::newRow("first beat") << "0"
                                    << "1";
        QTest::newRow("carries through") << "1999"
                                         << "2000";
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
    }
    void advanceCount()
    {
        QFETCH(QString, count);
        QFETCH(QString, next);
        QCOMPARE(core::advanceCount(count), next);
    }

    void countParity_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<bool>("odd");
        QTest::newRow("zero leans left") << "0" << false;
        QTest::newRow("one leans right") << "1" << true;
        QTest::newRow("odd past 32 bits") << "4294967297" << true;
        QTest::newRow("even past 64 bits") << "18446744073709551616" << false;
        QTest::newRow("blanks before") << "  7" << true;
        QTest::newRow("no number is even") << "" << false;
        QTest::newRow("only the leading number counts") << "12x7" << false;
    }
    void countParity()
    {
        QFETCH(QString, count);
        QFETCH(bool, odd);
        QCOMPARE(core::isOddCount(count), odd);
    }
};

QTEST_APPLESS_MAIN(RulesTest)
#include "tst_rules.moc"
