#include "core/tempo_rules.h"
#include "platform/conversions.h"

#include <QTest>

class TempoRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void beatInterval_data()
    {
        QTest::addColumn<int>("tempo");
        QTest::addColumn<int>("interval");
        QTest::addColumn<double>("period");
        QTest::newRow("slowest") << 40 << 1500 << 1500.0;
        QTest::newRow("one a second") << 60 << 1000 << 1000.0;
        QTest::newRow("90 rounds down") << 90 << 666 << 60000.0 / 90;
        QTest::newRow("100") << 100 << 600 << 600.0;
        QTest::newRow("120") << 120 << 500 << 500.0;
        QTest::newRow("130 keeps its fraction") << 130 << 461 << 461.53846153846155;
        QTest::newRow("240") << 240 << 250 << 250.0;
        QTest::newRow("249 is not 250") << 249 << 240 << 240.96385542168676;
        QTest::newRow("fastest") << 250 << 240 << 240.0;
    }
    void beatInterval()
    {
        QFETCH(int, tempo);
        QFETCH(int, interval);
        QFETCH(double, period);
        QCOMPARE(core::beatIntervalMs(tempo), interval);
        QCOMPARE(core::beatPeriodMs(tempo), period);
        // The beat period is what the tempo says: tempo beats take exactly one minute.
        QVERIFY(qAbs(core::beatPeriodMs(tempo) * tempo - 60000.0) < 1e-9);
    }

    void tempoCaption_data()
    {
        QTest::addColumn<int>("tempo");
        QTest::addColumn<QString>("caption");
        QTest::newRow("two digits") << 40 << "Bpm  40";
        QTest::newRow("three digits") << 250 << "Bpm  250";
        QTest::newRow("no grouping") << 140 << "Bpm  140";
    }
    void tempoCaption()
    {
        QFETCH(int, tempo);
        QFETCH(QString, caption);
        QCOMPARE(core::tempoCaption(tempo), caption);
    }

    void keyFilter_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("kept");
        for (char digit = '0'; digit <= '9'; ++digit)
            QTest::addRow("digit %c", digit) << int(digit) << true;
        QTest::newRow("backspace") << 8 << true;
        QTest::newRow("letter") << int('a') << false;
        QTest::newRow("capital") << int('Z') << false;
        QTest::newRow("space") << int(' ') << false;
        QTest::newRow("minus") << int('-') << false;
        QTest::newRow("point") << int('.') << false;
        QTest::newRow("comma") << int(',') << false;
        QTest::newRow("slash, just below 0") << int('/') << false;
        QTest::newRow("colon, just above 9") << int(':') << false;
        QTest::newRow("enter") << 13 << false;
        QTest::newRow("tab") << 9 << false;
        QTest::newRow("ctrl+c") << 3 << false;
        QTest::newRow("ctrl+v") << 22 << false;
        QTest::newRow("ctrl+x") << 24 << false;
        QTest::newRow("e acute") << 0xE9 << false;
        QTest::newRow("CJK, negative as a signed code") << int(std::int16_t(0x8BF4)) << false;
        QTest::newRow("arabic-indic one") << 0x0661 << false;
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
        QTest::newRow("design") << "40" << 40;
        QTest::newRow("fastest") << "250" << 250;
        QTest::newRow("leading zero") << "070" << 70;
        QTest::newRow("many leading zeros") << "000000000000000000120" << 120;
        QTest::newRow("blanks around") << " 120 " << 120;
        QTest::newRow("first digit of 140") << "1" << 0;
        QTest::newRow("second digit of 140") << "14" << 0;
        QTest::newRow("just below") << "39" << 0;
        QTest::newRow("just above") << "251" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blank") << "   " << 0;
        QTest::newRow("negative") << "-50" << 0;
        QTest::newRow("plus sign") << "+50" << 0;
        QTest::newRow("decimal") << "120.5" << 0;
        QTest::newRow("decimal comma") << "120,0" << 0;
        QTest::newRow("exponent") << "1e2" << 0;
        QTest::newRow("hexadecimal") << "0x64" << 0;
        QTest::newRow("letters") << "abc" << 0;
        QTest::newRow("inner blank") << "1 20" << 0;
        QTest::newRow("32-bit max") << "2147483647" << 0;
        QTest::newRow("past 32 bits") << "2147483648" << 0;
        QTest::newRow("past 64 bits") << "99999999999999999999999" << 0;
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("\u0661\u0662\u0660") << 0;
        QTest::newRow("fullwidth digits") << QString::fromUtf8("\uFF11\uFF12\uFF10") << 0;
    }
    void tempoFromText()
    {
        QFETCH(QString, text);
        QFETCH(int, tempo);
        const auto result = core::tempoFromText(text, 40, 250);
        QCOMPARE(result.value_or(0), tempo);
    }

    void wholeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value"); // -1: no number
        QTest::newRow("zero") << "0" << qint64(0);
        QTest::newRow("largest") << "2147483647" << qint64(2147483647);
        QTest::newRow("one more") << "2147483648" << qint64(-1);
        QTest::newRow("tab around") << "\t7\t" << qint64(7);
        QTest::newRow("sign") << "-1" << qint64(-1);
    }
    void wholeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        const auto number = platform::toInt32(text);
        QCOMPARE(number ? qint64(*number) : qint64(-1), value);
    }
};

QTEST_APPLESS_MAIN(TempoRulesTest)
#include "tst_tempo_rules.moc"
