// The metronome's pure rules, by tables, where the window cannot reach them: what a text in the
// tempo box means, and a count of any length and its parity, which the pendulum follows.
#include "core/beat_rules.h"
#include "core/tempo_rules.h"

#include <QTest>

class RulesTest : public QObject
{
    Q_OBJECT

private slots:
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
        // clang-format off
        QTest::newRow("first beat") << "0" << "1";
        QTest::newRow("carries through") << "1999" << "2000";
        QTest::newRow("past 32 bits") << "2147483647" << "2147483648";
        QTest::newRow("past exact doubles") << "9007199254740992" << "9007199254740993";
        QTest::newRow("past 64 bits") << "18446744073709551615" << "18446744073709551616";
        QTest::newRow("no exponent ever") << "999999999999999999999" << "1000000000000000000000";
        QTest::newRow("leading zeros dropped") << "007" << "8";
        // clang-format on
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
