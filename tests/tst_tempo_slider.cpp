// The tempo slider: keys, the mouse and the program move it, the tempo follows at once, and the
// tempo box follows only when the user's action on the slider ends. A tempo set on the
// metronome from anywhere else shows on the slider and in the box.
#include "core/tempo_rules.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "window_fixture.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>

namespace {

QRect sliderPart(const QSlider &slider, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    return slider.style()->subControlRect(QStyle::CC_Slider, &option, part, &slider);
}

QPoint handleCentre(const QSlider &slider)
{
    return sliderPart(slider, QStyle::SC_SliderHandle).center();
}

} // namespace

class TempoSliderTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgram> p;
    platform::Slider *slider() { return p->widget<platform::Slider>("Slider1"); }
    QString boxText() { return p->widget<platform::TextBox>("Text2")->text(); }
    void expectFollowed(int tempo)
    {
        QCOMPARE(boxText(), QString::number(tempo));
        expectTempo(*p, tempo, core::tempoCaption(u"Bpm", tempo));
    }

private slots:
    void init()
    {
        p = showNewProgram();
        QVERIFY(p);
    }
    void cleanup() { p.reset(); }

    void keys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("value");
        const int slowest = core::kSlowestTempo;
        QTest::newRow("end to the fastest") << QList<int>{Qt::Key_End} << core::kFastestTempo;
        QTest::newRow("one step") << QList<int>{Qt::Key_Right} << slowest + 1;
        QTest::newRow("page step") << QList<int>{Qt::Key_PageUp} << slowest + 10;
        QTest::newRow("back to the slowest") << QList<int>{Qt::Key_End, Qt::Key_Home} << slowest;
    }
    void keys()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, value);
        slider()->setFocus();
        QSignalSpy clicks(slider(), &platform::Slider::clicked);
        for (const int key : keys)
            QTest::keyClick(slider(), Qt::Key(key));
        expectFollowed(value);
        QCOMPARE(clicks.count(), keys.size());
    }

    // Holding the button on the groove right of the handle pages up; the box follows only when
    // the button is released.
    void holdingTheButtonOnTheGroove()
    {
        const QPoint groove(slider()->width() * 3 / 4,
                            sliderPart(*slider(), QStyle::SC_SliderGroove).top() + 1);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(groove),
                          slider()->mapToGlobal(QPointF(groove)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(slider(), &press);
        QTRY_VERIFY_WITH_TIMEOUT(slider()->value() > core::kSlowestTempo, 3000);
        QCOMPARE(boxText(), QString::number(core::kSlowestTempo));
        QTest::mouseRelease(slider(), Qt::LeftButton, {}, groove);
        expectFollowed(slider()->value());
    }

    void draggingTheHandle()
    {
        const QPoint from = handleCentre(*slider());
        QTest::mousePress(slider(), Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(160, 0)),
                         slider()->mapToGlobal(QPointF(from + QPoint(160, 0))), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider(), &move);
        const int tempo = slider()->value();
        QVERIFY(tempo > 120 && tempo < 170);
        QCOMPARE(boxText(), QString::number(core::kSlowestTempo));
        QTest::mouseRelease(slider(), Qt::LeftButton, {}, from + QPoint(160, 0));
        expectFollowed(tempo);
    }

    void middleButtonJumps()
    {
        const QPoint spot(slider()->width() * 3 / 4, handleCentre(*slider()).y());
        QTest::mouseClick(slider(), Qt::MiddleButton, {}, spot);
        QVERIFY(slider()->value() > 150);
        expectFollowed(slider()->value());
    }

    void clickThatLeavesTheValueOnlyRewritesTheBox()
    {
        auto *box = p->widget<platform::TextBox>("Text2");
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Backspace);
        QVERIFY(box->isMarkedInvalid());
        QTest::mouseClick(slider(), Qt::LeftButton, {}, handleCentre(*slider()));
        QCOMPARE(box->text(), QString::number(core::kSlowestTempo));
        QVERIFY(!box->isMarkedInvalid());
        expectTempo(*p, core::kSlowestTempo, "Bpm");
    }

    // The metronome owns the tempo: set on it, it shows on the slider, in the frame's caption
    // and in the box, within the range, and the running beat takes its period.
    void aTempoSetOnTheMetronomeShowsEverywhere_data()
    {
        QTest::addColumn<QString>("typed"); // into the box first
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<QString>("box");
        // A tempo out of the range is clamped by the metronome (tst_metronome); the window shows
        // what the metronome has.
        QTest::newRow("within the range") << "" << 120 << 120 << "120";
        QTest::newRow("below the range, over a typed tempo")
            << "90" << 0 << core::kSlowestTempo << QString::number(core::kSlowestTempo);
        QTest::newRow("a red box is mended") << "9" << 100 << 100 << "100";
    }
    void aTempoSetOnTheMetronomeShowsEverywhere()
    {
        QFETCH(QString, typed);
        QFETCH(int, set);
        QFETCH(int, tempo);
        QFETCH(QString, box);
        auto *tempoBox = p->widget<platform::TextBox>("Text2");
        tempoBox->setFocus();
        placeCaret(tempoBox, "all selected");
        QTest::keyClicks(tempoBox, typed);
        QTest::keyClick(p->widget<QPushButton>("cmdAbilitaDisabilita"), Qt::Key_Space);
        p->metronome.setTempo(set);
        expectTempo(*p, tempo, core::tempoCaption(u"Bpm", tempo));
        QCOMPARE(tempoBox->text(), box);
        QVERIFY(!tempoBox->isMarkedInvalid());
        QCOMPARE(p->beats.period(), core::beatPeriodMs(tempo));
    }
};

QTEST_MAIN(TempoSliderTest)
#include "tst_tempo_slider.moc"
