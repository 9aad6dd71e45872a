// Typing the tempo: what reaches the box, what it applies, what it refuses, and what it says
// when it is emptied.
#include "core/tempo_rules.h"
#include "platform/text_box.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>

class TempoBoxTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgram> p;
    std::unique_ptr<MessageBoxWatcher> messages;
    platform::TextBox *box() { return p->widget<platform::TextBox>("Text2"); }

private slots:
    void init()
    {
        messages = std::make_unique<MessageBoxWatcher>();
        p = showNewProgram();
        QVERIFY(p);
    }
    void cleanup()
    {
        p.reset();
        messages.reset();
    }

    void typing_data()
    {
        QTest::addColumn<QString>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("red");
        // Where a text's tempo ends is tst_rules'; here, what the box does with one and with none.
        const int slowest = core::kSlowestTempo;
        // clang-format off
        QTest::newRow("1 before 40 gives 140")
            << "start" << "1" << "140" << 140 << "Bpm  140" << false;
        // Digit by digit, through texts that are no tempo yet.
        QTest::newRow("leading zero stays as typed")
            << "all selected" << "070" << "070" << 70 << "Bpm  70" << false;
        QTest::newRow("letters, space, signs, point, the neighbours of 0 and 9 discarded")
            << "end" << "a Z-.,+e/:" << QString::number(slowest) << slowest << "Bpm" << false;
        // 说 is negative as a signed 16-bit code.
        QTest::newRow("accented and other scripts discarded")
            << "end" << QString::fromUtf8("é€٣一说") << QString::number(slowest) << slowest
            << "Bpm" << false;
        QTest::newRow("a single digit is no tempo yet")
            << "all selected" << "9" << "9" << slowest << "Bpm" << true;
        QTest::newRow("241 is allowed although the tooltip says 240")
            << "all selected" << "241" << "241" << 241 << "Bpm  241" << false;
        QTest::newRow("huge number")
            << "end" << "99999999999999" << "4099999999999999" << slowest << "Bpm" << true;
        // clang-format on
    }
    void typing()
    {
        QFETCH(QString, caret);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(int, tempo);
        QFETCH(QString, caption);
        QFETCH(bool, red);
        box()->setFocus();
        placeCaret(box(), caret);
        typeText(box(), typed);
        QCOMPARE(box()->text(), text);
        expectTempo(*p, tempo, caption);
        // Digits that are no tempo are shown in red until they are mended.
        QCOMPARE(box()->isMarkedInvalid(), red);
        QVERIFY(messages->seen().isEmpty());
    }

    void controlKeysAreDiscarded_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("ctrl+v") << int(Qt::Key_V);
        QTest::newRow("ctrl+x") << int(Qt::Key_X);
        QTest::newRow("ctrl+backspace") << int(Qt::Key_Backspace);
    }
    void controlKeysAreDiscarded()
    {
        QFETCH(int, key);
        QApplication::clipboard()->setText("120");
        box()->setFocus();
        placeCaret(box(), "all selected");
        QTest::keyClick(box(), Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(box()->text(), QString::number(core::kSlowestTempo));
        expectTempo(*p, core::kSlowestTempo, "Bpm");
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
        box()->setFocus();
        placeCaret(box(), caret);
        const QString text(QChar(char16_t(0x7F)));
        const auto held = Qt::KeyboardModifiers(modifiers);
        // Spontaneous, and offered as a shortcut first, as a key from the window system is.
        QTest::sendKeyEvent(QTest::Press, box(), Qt::Key_Delete, text, held);
        QTest::sendKeyEvent(QTest::Release, box(), Qt::Key_Delete, text, held);
        QCOMPARE(box()->text(), "0");
        QTest::keyClick(box(), Qt::Key_End);
        QTest::keyClicks(box(), "9");
        QCOMPARE(box()->text(), "09");
        QTest::keyClick(box(), Qt::Key_Left);
        QTest::keyClick(box(), Qt::Key_Left);
        QTest::keyClicks(box(), "1");
        expectTempo(*p, 109, "Bpm  109");
    }

    void emptyingTheBoxAsksForANumberOnce()
    {
        box()->setFocus();
        placeCaret(box(), "end");
        QTest::keyClick(box(), Qt::Key_Backspace);
        QCOMPARE(box()->text(), "4");
        QVERIFY(messages->seen().isEmpty());
        QTest::keyClick(box(), Qt::Key_Backspace);
        QCOMPARE(box()->text(), "");
        QCOMPARE(messages->seen().size(), 1);
        const auto &shown = messages->seen().front();
        QCOMPARE(shown.text, "Inserire un numero!");
        QCOMPARE(shown.title, "Cadrel");
        QCOMPARE(shown.buttons.size(), 1);
        QCOMPARE(shown.icon, QMessageBox::NoIcon);
        expectTempo(*p, core::kSlowestTempo, "Bpm");
        // The program goes on: typing a new number applies it.
        QTest::keyClicks(box(), "96");
        expectTempo(*p, 96, "Bpm  96");
        QCOMPARE(messages->seen().size(), 1);
    }

    void pastedTextThatIsNoTempoIsNotApplied()
    {
        box()->setText("120");
        QApplication::clipboard()->setText("abc");
        box()->selectAll();
        box()->paste(); // what the context menu's paste does
        QVERIFY(box()->isMarkedInvalid());
        expectTempo(*p, 120, "Bpm  120");
    }

    // The box's menu, opened with the mouse, speaks Italian and names no key the box refuses
    // (all it takes from the keyboard are digits and Backspace).
    void contextMenuSpeaksItalianAndPromisesNoKeys()
    {
        // What a right click on the box delivers to it.
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                                box()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box(), &click);
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList texts;
        for (const QAction *action : menu->actions()) {
            QVERIFY2(action->shortcut().isEmpty() && !action->text().contains('\t'),
                     qPrintable(action->text()));
            texts << action->text().remove('&');
        }
        menu->close();
        QVERIFY2(texts.contains("Incolla"), qPrintable(texts.join(", ")));
    }

    // Whatever is typed or pasted, the tempo stays within its range, the slider shows it and the
    // running beat keeps its period; only digits are ever typed into the box.
    void randomTextNeverBreaksTheTempo()
    {
        QRandomGenerator random(20261206);
        // clang-format off
        const QStringList pieces = QStringList{"0", "1", "4", "9", "25", "250", "251", "40", "a",
            "Z", " ", "-", "+", ".", ",", "e", "\t", "99999999999", "2147483648"}
            + QString::fromUtf8("é ٣ 一 😀").split(' ');
        // clang-format on
        const auto randomText = [&] {
            QString text;
            const int length = 1 + int(random.bounded(6));
            for (int i = 0; i < length; ++i)
                text += pieces[int(random.bounded(pieces.size()))];
            return text;
        };
        const auto slider = p->widget<QSlider>("Slider1");
        const auto checkAlive = [&](const QString &text) {
            const int tempo = p->metronome.tempo();
            QVERIFY2(tempo >= core::kSlowestTempo && tempo <= core::kFastestTempo &&
                         slider->value() == tempo && p->beats.period() == core::beatPeriodMs(tempo),
                     qPrintable("text \"" + text + "\""));
        };
        QTest::keyClick(p->widget<QPushButton>("cmdAbilitaDisabilita"), Qt::Key_Space);
        QVERIFY(p->beats.running);
        for (int i = 0; i < 100000; ++i) {
            const QString text = randomText();
            box()->setText(text);
            checkAlive(text);
        }
        box()->setText("120");
        box()->setFocus();
        for (int i = 0; i < 2000; ++i) {
            const QString text = randomText();
            if (random.bounded(4) == 0)
                QTest::keyClick(box(), Qt::Key_Backspace);
            typeText(box(), text);
            checkAlive(text);
            for (const QChar c : box()->text())
                QVERIFY2(c >= '0' && c <= '9', qPrintable(text + " gave " + box()->text()));
        }
    }
};

QTEST_MAIN(TempoBoxTest)
#include "tst_tempo_box.moc"
