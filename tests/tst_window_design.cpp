// The window as designed: where it opens, its texts, fonts and colours, and the state the user
// finds at program start. (How the controls show and stack on screen is tst_look's, on a real
// X server.)
#include "window/control_factory.h"
#include "window_fixture.h"

#include <algorithm>
#include <QFontInfo>
#include <QLineEdit>
#include <QRadioButton>

class WindowDesignTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgram> p;
    QWidget *child(const char *name) { return p->widget<QWidget>(name); }

private slots:
    void init()
    {
        p = showNewProgram();
        QVERIFY(p);
    }
    void cleanup() { p.reset(); }

    // What no other test reads: the captions and texts a screen reader reads are
    // tst_window_access's, the tempo's first value tst_tempo_box's.
    void startsInTheDesignState()
    {
        // (6180, 345) and 5280 by 7995 twips, 15 to a pixel.
        QCOMPARE(p->window.geometry(), QRect(412, 23, 352, 533));
        QCOMPARE(p->window.windowTitle(), "Ritmolino");
        QCOMPARE(child("Slider1")->geometry(), QRect(8, 32, 321, 42));
        QCOMPARE(p->widget<window::Frame>("Frame1")->caption(), "Suono: ");
        QCOMPARE(child("Frame3")->toolTip(), "Battiti per minuto");
        QCOMPARE(p->widget<QLineEdit>("Text2")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }

    void fontsAndColours()
    {
        auto *toggle = child("cmdAbilitaDisabilita");
        auto *box = child("Text2");
        auto *option = child("Op1");
        QCOMPARE(toggle->font().pointSizeF(), 12.0);
        QCOMPARE(box->font().pointSizeF(), 9.75);
        QVERIFY(box->font().bold());
        QCOMPARE(option->font().pointSizeF(), 8.25);
        // Missing design fonts fall to a metric-compatible face, not to a wider default.
        const QString used = QFontInfo(option->font()).family();
        QVERIFY2(used == "Arial" || used == "Liberation Sans", qPrintable(used));
        const QString body = QFontInfo(child("Frame1")->font()).family();
        QVERIFY2(body == "MS Sans Serif" || body == "Liberation Sans", qPrintable(body));
        QCOMPARE(toggle->palette().color(QPalette::Button), QColor(255, 255, 192));
        QCOMPARE(option->palette().color(QPalette::WindowText), QColor(128, 128, 0));
        // The tempo box takes the desktop's tooltip colour, whatever the theme makes it.
        QCOMPARE(box->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::ToolTipBase));
    }

    // Tab visits the controls in design order, Shift+Tab the other way, twice round; the option
    // group is entered at its selected button, so a screen reader never hears the other one.
    void tabVisitsTheControlsInDesignOrder_data()
    {
        QTest::addColumn<bool>("noSound");
        QTest::addColumn<bool>("backwards");
        QTest::newRow("Suono, Tab") << false << false;
        QTest::newRow("No Suono, Tab") << true << false;
        QTest::newRow("Suono, Shift+Tab") << false << true;
        QTest::newRow("No Suono, Shift+Tab") << true << true;
    }
    void tabVisitsTheControlsInDesignOrder()
    {
        QFETCH(bool, noSound);
        QFETCH(bool, backwards);
        if (noSound)
            QTest::mouseClick(child("Op2"), Qt::LeftButton, {}, QPoint(5, 8));
        QVERIFY(p->widget<QRadioButton>(noSound ? "Op2" : "Op1")->isChecked());
        QList<QWidget *> expected = {child(noSound ? "Op2" : "Op1"), child("Picture1"),
                                     child("Slider1"), child("Text2"),
                                     child("cmdAbilitaDisabilita")};
        if (backwards)
            std::reverse(expected.begin(), expected.end() - 1);
        struct FocusCounter : QObject {
            int focused = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                focused += event->type() == QEvent::FocusIn;
                return false;
            }
        } counter;
        child(noSound ? "Op1" : "Op2")->installEventFilter(&counter);
        child("cmdAbilitaDisabilita")->setFocus();
        for (int round = 0; round < 2; ++round) {
            for (QWidget *next : expected) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                                backwards ? Qt::ShiftModifier : Qt::NoModifier);
                QCOMPARE(QApplication::focusWidget(), next);
            }
        }
        QCOMPARE(counter.focused, 0);
    }

    // A count too wide for the counter is written smaller, so that it stays whole.
    void aLongCountIsWrittenSmaller_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<bool>("smaller");
        QTest::newRow("four digits") << "1234" << false;
        QTest::newRow("ten digits, 76 years at the fastest") << "1000000000" << true;
    }
    void aLongCountIsWrittenSmaller()
    {
        QFETCH(QString, count);
        QFETCH(bool, smaller);
        auto *counter = p->widget<QLabel>("Label1");
        const QFont designed = counter->font();
        const int room = counter->contentsRect().width() - 2;
        const QFont font = window::fontToFit(designed, count, room);
        QCOMPARE(font.pointSizeF() < designed.pointSizeF(), smaller);
        QVERIFY(QFontMetrics(font).horizontalAdvance(count) <= room);
        QCOMPARE(font.family(), designed.family());
    }
};

QTEST_MAIN(WindowDesignTest)
#include "tst_window_design.moc"
