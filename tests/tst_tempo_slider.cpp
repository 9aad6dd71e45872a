// The tempo slider: keys, the mouse and the program move it, the tempo and the beat interval
// follow at once, and the tempo box follows only when the user's action on the slider ends.
#include "core/tempo_rules.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "window_fixture.h"

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
        expectTempo(*p, tempo, core::beatIntervalMs(tempo), core::tempoCaption(tempo));
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
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("value");
        QTest::newRow("end to the fastest") << int(Qt::Key_End) << 250;
        QTest::newRow("one step") << int(Qt::Key_Right) << 41;
        QTest::newRow("page step") << int(Qt::Key_PageUp) << 50;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, value);
        slider()->setFocus();
        QSignalSpy clicks(slider(), &platform::Slider::clicked);
        QTest::keyClick(slider(), Qt::Key(key));
        expectFollowed(value);
        QCOMPARE(clicks.count(), 1);
    }

    void backToTheSlowest()
    {
        slider()->setFocus();
        QTest::keyClick(slider(), Qt::Key_End);
        QTest::keyClick(slider(), Qt::Key_Home);
        expectTempo(*p, 40, 1500, "Bpm  40");
        QCOMPARE(boxText(), "40");
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
        QTRY_VERIFY_WITH_TIMEOUT(slider()->value() > 40, 3000);
        QCOMPARE(boxText(), "40");
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
        QCOMPARE(boxText(), "40");
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
        box->setText("4");
        QVERIFY(box->isMarkedInvalid());
        QTest::mouseClick(slider(), Qt::LeftButton, {}, handleCentre(*slider()));
        QCOMPARE(box->text(), "40");
        QVERIFY(!box->isMarkedInvalid());
        expectTempo(*p, 40, 1000, "Bpm");
    }

    void programChangeWithoutClickLeavesTheBox()
    {
        slider()->setValue(200);
        expectTempo(*p, 200, 300, "Bpm  200");
        QCOMPARE(boxText(), "40");
    }
};

QTEST_MAIN(TempoSliderTest)
#include "tst_tempo_slider.moc"
