#include "core/tempo_rules.h"
#include "platform/periodic_timer.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "window/painted_controls.h"
#include "window/picture_box.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>

using window::frmCadrel;

namespace {

// What the user sees of the tempo, all in one place.
struct Tempo {
    int value;
    int interval;
    QString caption;
};

Tempo tempoOf(const frmCadrel &form)
{
    return {form.Slider1->value(), form.tmrTimer->interval(), form.Frame3->caption()};
}

void expectTempo(const frmCadrel &form, int value, int interval, const QString &caption)
{
    const Tempo now = tempoOf(form);
    QCOMPARE(now.value, value);
    QCOMPARE(now.interval, interval);
    QCOMPARE(now.caption, caption);
}

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

// Moves the caret the way the keys of a keyboard do.
void placeCaret(QWidget *box, const QString &where)
{
    if (where == "start") {
        QTest::keyClick(box, Qt::Key_Home);
    } else if (where == "end") {
        QTest::keyClick(box, Qt::Key_End);
    } else if (where == "first selected") {
        QTest::keyClick(box, Qt::Key_Home);
        QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    } else if (where == "all selected") {
        QTest::keyClick(box, Qt::Key_Home);
        QTest::keyClick(box, Qt::Key_End, Qt::ShiftModifier);
    }
}

} // namespace

class TempoWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<frmCadrel> form;
    std::unique_ptr<MessageBoxWatcher> messages;

private slots:
    void init()
    {
        messages = std::make_unique<MessageBoxWatcher>();
        form = showNewWindow();
        QVERIFY(form);
    }
    void cleanup()
    {
        form.reset();
        messages.reset();
    }

    void startsInTheDesignState()
    {
        QCOMPARE(form->windowTitle(), "Ritmolino");
        QCOMPARE(form->Label1->caption(), "0");
        QCOMPARE(form->Text2->text(), "40");
        QCOMPARE(form->Slider1->value(), 40);
        QCOMPARE(form->Slider1->minimum(), 40);
        QCOMPARE(form->Slider1->maximum(), 250);
        QVERIFY(form->Op1->isChecked());
        QVERIFY(!form->Op2->isChecked());
        QCOMPARE(form->Frame3->caption(), "Bpm");
        QCOMPARE(form->cmdAbilitaDisabilita->text(), "&Abilita");
        QVERIFY(!form->Abilitato.has_value());
        // The beat timer ticks from the start with 1000 ms although the tempo of 40 means 1500.
        QVERIFY(form->tmrTimer->isEnabled());
        QCOMPARE(form->tmrTimer->interval(), 1000);
        QVERIFY(!form->Timer1->isEnabled());
        QCOMPARE(form->Timer1->interval(), 1);
        QCOMPARE(QApplication::focusWidget(), form->cmdAbilitaDisabilita);
        QVERIFY(messages->seen().isEmpty());
    }

    void typingIntoTheTempoBox_data()
    {
        QTest::addColumn<QString>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("red");
        // clang-format off
        QTest::newRow("1 before 40 gives 140")
            << "start" << "1" << "140" << 140 << 428 << "Bpm  140" << false;
        QTest::newRow("6 over the 4 gives 60")
            << "first selected" << "6" << "60" << 60 << 1000 << "Bpm  60" << false;
        QTest::newRow("digit by digit ends at 140")
            << "all selected" << "140" << "140" << 140 << 428 << "Bpm  140" << false;
        QTest::newRow("leading zero")
            << "all selected" << "070" << "070" << 70 << 857 << "Bpm  70" << false;
        QTest::newRow("fastest")
            << "all selected" << "250" << "250" << 250 << 240 << "Bpm  250" << false;
        QTest::newRow("letters, space, minus, point discarded")
            << "end" << "a Z-.,+e" << "40" << 40 << 1000 << "Bpm" << false;
        QTest::newRow("accented and other scripts discarded")
            << "end" << QString::fromUtf8("é€٣一") << "40" << 40 << 1000 << "Bpm" << false;
        QTest::newRow("above the range stays in the box only")
            << "all selected" << "300" << "300" << 40 << 1000 << "Bpm" << true;
        QTest::newRow("a single digit is no tempo yet")
            << "all selected" << "9" << "9" << 40 << 1000 << "Bpm" << true;
        QTest::newRow("241 is allowed although the tooltip says 240")
            << "all selected" << "241" << "241" << 241 << 248 << "Bpm  241" << false;
        QTest::newRow("huge number")
            << "end" << "99999999999999" << "4099999999999999" << 40 << 1000 << "Bpm" << true;
        // clang-format on
    }
    void typingIntoTheTempoBox()
    {
        QFETCH(QString, caret);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(int, tempo);
        QFETCH(int, interval);
        QFETCH(QString, caption);
        form->Text2->setFocus();
        placeCaret(form->Text2, caret);
        typeText(form->Text2, typed);
        QCOMPARE(form->Text2->text(), text);
        expectTempo(*form, tempo, interval, caption);
        // Digits that are no tempo are shown in red until they are mended.
        QFETCH(bool, red);
        QCOMPARE(form->Text2->isMarkedInvalid(), red);
        QVERIFY(messages->seen().isEmpty());
    }

    void controlKeysAreDiscarded_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("ctrl+v") << int(Qt::Key_V) << int(Qt::ControlModifier);
        QTest::newRow("ctrl+x") << int(Qt::Key_X) << int(Qt::ControlModifier);
        QTest::newRow("ctrl+c") << int(Qt::Key_C) << int(Qt::ControlModifier);
        QTest::newRow("ctrl+backspace") << int(Qt::Key_Backspace) << int(Qt::ControlModifier);
    }
    void controlKeysAreDiscarded()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QApplication::clipboard()->setText("120");
        form->Text2->setFocus();
        placeCaret(form->Text2, "all selected");
        QTest::keyClick(form->Text2, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(form->Text2->text(), "40");
        expectTempo(*form, 40, 1000, "Bpm");
    }

    void deleteKeysEditTheBox_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("caret");
        QTest::newRow("Delete") << int(Qt::NoModifier) << "start";
        QTest::newRow("Shift+Delete on a selection") << int(Qt::ShiftModifier) << "first selected";
        QTest::newRow("keypad Delete") << int(Qt::KeypadModifier) << "start";
    }
    // The Delete key as X11 and Wayland send it, with the text U+007F: it edits the box, and
    // the cursor keys keep their effect too.
    void deleteKeysEditTheBox()
    {
        QFETCH(int, modifiers);
        QFETCH(QString, caret);
        form->Text2->setFocus();
        placeCaret(form->Text2, caret);
        const QString text(QChar(char16_t(0x7F)));
        const auto held = Qt::KeyboardModifiers(modifiers);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, held, text);
        QApplication::sendEvent(form->Text2, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Delete, held, text);
        QApplication::sendEvent(form->Text2, &release);
        QCOMPARE(form->Text2->text(), "0");
        QTest::keyClick(form->Text2, Qt::Key_End);
        QTest::keyClicks(form->Text2, "9");
        QCOMPARE(form->Text2->text(), "09");
        QCOMPARE(form->Slider1->value(), 40);
        QTest::keyClick(form->Text2, Qt::Key_Left);
        QTest::keyClick(form->Text2, Qt::Key_Left);
        QTest::keyClicks(form->Text2, "1");
        expectTempo(*form, 109, 550, "Bpm  109");
    }

    void emptyingTheBoxAsksForANumberOnce()
    {
        form->Text2->setFocus();
        placeCaret(form->Text2, "end");
        QTest::keyClick(form->Text2, Qt::Key_Backspace);
        QCOMPARE(form->Text2->text(), "4");
        QVERIFY(messages->seen().isEmpty());
        QTest::keyClick(form->Text2, Qt::Key_Backspace);
        QCOMPARE(form->Text2->text(), "");
        QCOMPARE(messages->seen().size(), 1);
        const auto &box = messages->seen().front();
        QCOMPARE(box.text, "Inserire un numero!");
        QCOMPARE(box.title, "Cadrel");
        QCOMPARE(box.buttons.size(), 1);
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        expectTempo(*form, 40, 1000, "Bpm");
        // The program goes on: typing a new number applies it.
        QTest::keyClicks(form->Text2, "96");
        expectTempo(*form, 96, 625, "Bpm  96");
        QCOMPARE(messages->seen().size(), 1);
    }

    void sliderKeysSetTheTempoAndTheBox_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("caption");
        QTest::newRow("end to the fastest") << int(Qt::Key_End) << 250 << 240 << "Bpm  250";
        QTest::newRow("one step") << int(Qt::Key_Right) << 41 << 1463 << "Bpm  41";
        QTest::newRow("page step") << int(Qt::Key_PageUp) << 50 << 1200 << "Bpm  50";
    }
    void sliderKeysSetTheTempoAndTheBox()
    {
        QFETCH(int, key);
        QFETCH(int, value);
        QFETCH(int, interval);
        QFETCH(QString, caption);
        form->Slider1->setFocus();
        QSignalSpy clicks(form->Slider1, &platform::Slider::clicked);
        QTest::keyClick(form->Slider1, Qt::Key(key));
        expectTempo(*form, value, interval, caption);
        QCOMPARE(form->Text2->text(), QString::number(value));
        QCOMPARE(clicks.count(), 1);
    }

    void sliderBackToTheSlowest()
    {
        form->Slider1->setFocus();
        QTest::keyClick(form->Slider1, Qt::Key_End);
        QTest::keyClick(form->Slider1, Qt::Key_Home);
        expectTempo(*form, 40, 1500, "Bpm  40");
        QCOMPARE(form->Text2->text(), "40");
    }

    void mouseOnTheSliderSetsTheBoxAfterRelease()
    {
        QSlider *slider = form->Slider1;
        // Holding the button on the groove right of the handle pages up; the box follows only
        // when the button is released.
        const QPoint groove(slider->width() * 3 / 4,
                            sliderPart(*slider, QStyle::SC_SliderGroove).top() + 1);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(groove),
                          slider->mapToGlobal(QPointF(groove)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(slider, &press);
        QTRY_VERIFY_WITH_TIMEOUT(slider->value() > 40, 3000);
        QCOMPARE(form->Text2->text(), "40");
        QTest::mouseRelease(slider, Qt::LeftButton, {}, groove);
        const int tempo = slider->value();
        QCOMPARE(form->Text2->text(), QString::number(tempo));
        expectTempo(*form, tempo, core::beatIntervalMs(tempo), core::tempoCaption(tempo));
    }

    void draggingTheHandle()
    {
        QSlider *slider = form->Slider1;
        const QPoint from = handleCentre(*slider);
        QTest::mousePress(slider, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(160, 0)),
                         slider->mapToGlobal(QPointF(from + QPoint(160, 0))), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        const int tempo = slider->value();
        QVERIFY(tempo > 120 && tempo < 170);
        QCOMPARE(form->Text2->text(), "40");
        QTest::mouseRelease(slider, Qt::LeftButton, {}, from + QPoint(160, 0));
        QCOMPARE(form->Text2->text(), QString::number(tempo));
        expectTempo(*form, tempo, core::beatIntervalMs(tempo), core::tempoCaption(tempo));
    }

    void middleButtonJumpsAndTheBoxFollows()
    {
        QSlider *slider = form->Slider1;
        const QPoint spot(slider->width() * 3 / 4, handleCentre(*slider).y());
        QTest::mouseClick(slider, Qt::MiddleButton, {}, spot);
        const int tempo = slider->value();
        QVERIFY(tempo > 150);
        QCOMPARE(form->Text2->text(), QString::number(tempo));
        expectTempo(*form, tempo, core::beatIntervalMs(tempo), core::tempoCaption(tempo));
    }

    void clickThatLeavesTheValueOnlyRewritesTheBox()
    {
        form->Text2->setText("4");
        QVERIFY(form->Text2->isMarkedInvalid());
        QTest::mouseClick(form->Slider1, Qt::LeftButton, {}, handleCentre(*form->Slider1));
        QCOMPARE(form->Text2->text(), "40");
        QVERIFY(!form->Text2->isMarkedInvalid());
        expectTempo(*form, 40, 1000, "Bpm");
    }

    void programChangeWithoutClickLeavesTheBox()
    {
        form->Slider1->setValue(200);
        expectTempo(*form, 200, 300, "Bpm  200");
        QCOMPARE(form->Text2->text(), "40");
    }

    void pastedTextThatIsNoTempoIsNotApplied_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::newRow("letters") << "abc";
        QTest::newRow("negative") << "-120";
        QTest::newRow("decimal") << "120.5";
        QTest::newRow("too big for 32 bits") << "99999999999999999999";
        QTest::newRow("out of range") << "1000";
        QTest::newRow("other script") << QString::fromUtf8("١٢٠");
        QTest::newRow("control characters") << QString::fromUtf8("12\u0001\u0000");
    }
    void pastedTextThatIsNoTempoIsNotApplied()
    {
        QFETCH(QString, pasted);
        form->Text2->setText("120");
        QApplication::clipboard()->setText(pasted);
        form->Text2->selectAll();
        form->Text2->paste(); // what the context menu's paste does
        QVERIFY(form->Text2->isMarkedInvalid());
        expectTempo(*form, 120, 500, "Bpm  120");
    }

    void contextMenuSpeaksItalian()
    {
        std::unique_ptr<QMenu> menu(form->Text2->createStandardContextMenu());
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << action->text().remove('&').section('\t', 0, 0);
        QVERIFY2(texts.contains("Incolla"), qPrintable(texts.join(", ")));
    }

    void tabVisitsTheControlsInDesignOrder_data()
    {
        QTest::addColumn<bool>("noSound");
        QTest::newRow("Suono selected") << false;
        QTest::newRow("No Suono selected") << true;
    }
    void tabVisitsTheControlsInDesignOrder()
    {
        QFETCH(bool, noSound);
        if (noSound)
            form->Op2->setChecked(true);
        QWidget *option = noSound ? static_cast<QWidget *>(form->Op2) : form->Op1;
        const QList<QWidget *> expected = {option, form->Picture1, form->Slider1, form->Text2,
                                           form->cmdAbilitaDisabilita};
        form->cmdAbilitaDisabilita->setFocus();
        for (QWidget *next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void randomTextNeverBreaksTheTempo()
    {
        QRandomGenerator random(20261206);
        const QList<QString> pieces = {"0",
                                       "1",
                                       "4",
                                       "9",
                                       "25",
                                       "250",
                                       "251",
                                       "40",
                                       "a",
                                       "Z",
                                       " ",
                                       "-",
                                       "+",
                                       ".",
                                       ",",
                                       "e",
                                       "\t",
                                       "99999999999",
                                       "2147483648",
                                       QString::fromUtf8("é"),
                                       QString::fromUtf8("٣"),
                                       QString::fromUtf8("一"),
                                       QString::fromUtf8("😀")};
        const auto randomText = [&] {
            QString text;
            const int length = 1 + int(random.bounded(6));
            for (int i = 0; i < length; ++i)
                text += pieces[int(random.bounded(pieces.size()))];
            return text;
        };
        const auto checkAlive = [&](const QString &text) {
            const int tempo = form->Slider1->value();
            if (tempo < 40 || tempo > 250 ||
                form->tmrTimer->interval() != core::beatIntervalMs(tempo))
                QFAIL(qPrintable(QStringLiteral("text \"%1\" left tempo %2, interval %3")
                                     .arg(text)
                                     .arg(tempo)
                                     .arg(form->tmrTimer->interval())));
        };
        form->Slider1->setValue(41); // from here on the interval follows the tempo
        for (int i = 0; i < 100000; ++i) {
            const QString text = randomText();
            form->Text2->setText(text);
            checkAlive(text);
            if (const auto tempo = core::tempoFromText(text, 40, 250))
                QCOMPARE(form->Slider1->value(), *tempo);
        }
        form->Text2->setText("120");
        form->Text2->setFocus();
        for (int i = 0; i < 2000; ++i) {
            const QString text = randomText();
            if (random.bounded(4) == 0)
                QTest::keyClick(form->Text2, Qt::Key_Backspace);
            typeText(form->Text2, text);
            checkAlive(text);
            // Only digits ever reach the box by typing.
            for (const QChar c : form->Text2->text())
                QVERIFY2(c >= '0' && c <= '9', qPrintable(text + " gave " + form->Text2->text()));
        }
        QVERIFY(form->isVisible());
    }
};

QTEST_MAIN(TempoWindowTest)
#include "tst_tempo_window.moc"
