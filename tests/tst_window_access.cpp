// Reaching the window as people do: a click anywhere on an option button, Enter on the focused
// toggle, and a screen reader that reads the labels and hears the count change.
#include "core/tempo_rules.h"
#include "platform/buttons.h"
#include "platform/text_box.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QPushButton>
#include <QRadioButton>

namespace {

// What a screen reader finds under `root`: every static text's name.
QStringList staticTexts(QAccessibleInterface *root)
{
    QStringList found;
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface *child = root->child(i);
        if (!child)
            continue;
        if (child->role() == QAccessible::StaticText)
            found << child->text(QAccessible::Name);
        found << staticTexts(child);
    }
    return found;
}

} // namespace

class WindowAccessTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgram> p;

private slots:
    void init()
    {
        p = showNewProgram();
        QVERIFY(p);
    }
    void cleanup() { p.reset(); }

    void optionButtonsAnswerAClickAnywhere_data()
    {
        QTest::addColumn<double>("across"); // where, as a share of the button's width
        // Both options are one kind of button; "Suono", whose short caption leaves the widest
        // empty part, stands for both.
        QTest::newRow("left edge, the empty part") << 0.02;
        QTest::newRow("right edge, the round button") << 0.98;
    }
    void optionButtonsAnswerAClickAnywhere()
    {
        QFETCH(double, across);
        auto *target = p->widget<QRadioButton>("Op1");
        auto *other = p->widget<QRadioButton>("Op2");
        other->setChecked(true);
        const QPoint at(int(target->width() * across), target->height() / 2);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        QVERIFY(target->isChecked());
        QVERIFY(!other->isChecked());
    }

    void enterPressesTheFocusedToggle_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
    void enterPressesTheFocusedToggle()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        auto *toggle = p->widget<QPushButton>("cmdAbilitaDisabilita");
        auto *box = p->widget<platform::TextBox>("Text2");
        const auto held = Qt::KeyboardModifiers(modifiers);
        QCOMPARE(p->window.focusWidget(), toggle);
        QTest::keyClick(toggle, Qt::Key(key), held);
        QTRY_COMPARE(toggle->text(), "&Disabilita");
        QTest::keyClick(toggle, Qt::Key(key), held);
        QTRY_COMPARE(toggle->text(), "&Abilita");
        // Elsewhere Enter does not reach the toggle: in the tempo box it is discarded.
        box->setFocus();
        QTest::keyClick(box, Qt::Key(key), held);
        QTest::qWait(300); // as long as the toggle's press would take to show
        QCOMPARE(toggle->text(), "&Abilita");
        QCOMPARE(box->text(), QString::number(core::kSlowestTempo));
    }

    // What a screen reader takes each control for, and the name it reads for it.
    void rolesOfTheWindowsOwnControls_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        // clang-format off
        QTest::newRow("the window") << "frmCadrel" << int(QAccessible::Window) << "Ritmolino";
        QTest::newRow("the toggle")
            << "cmdAbilitaDisabilita" << int(QAccessible::PushButton) << "Abilita";
        QTest::newRow("Suono") << "Op1" << int(QAccessible::RadioButton) << "Suono";
        QTest::newRow("No Suono") << "Op2" << int(QAccessible::RadioButton) << "No Suono";
        QTest::newRow("the tempo box")
            << "Text2" << int(QAccessible::EditableText) << "Inserire i Bpm - Max 240";
        QTest::newRow("the slider")
            << "Slider1" << int(QAccessible::Slider) << "Battiti per minuto";
        QTest::newRow("the banner") << "Picture1" << int(QAccessible::Graphic) << "Ritmolino";
        QTest::newRow("the tempo frame") << "Frame3" << int(QAccessible::Grouping) << "Bpm";
        QTest::newRow("the sound frame") << "Frame1" << int(QAccessible::Grouping) << "Suono:";
        QTest::newRow("the pendulum") << "Line2" << int(QAccessible::Graphic) << "Pendolo";
        QTest::newRow("the separator") << "Line1" << int(QAccessible::Separator) << "";
        QTest::newRow("the count") << "Label1" << int(QAccessible::StaticText) << "0";
        QTest::newRow("the count's title")
            << "Label2" << int(QAccessible::StaticText) << "Tot. Battiti:";
        QTest::newRow("Max") << "Label3" << int(QAccessible::StaticText) << "Max";
        QTest::newRow("Min") << "Label4" << int(QAccessible::StaticText) << "Min";
        // clang-format on
    }
    void rolesOfTheWindowsOwnControls()
    {
        QFETCH(QString, control);
        QFETCH(int, role);
        QFETCH(QString, name);
        QObject *object =
            control == "frmCadrel" ? &p->window : p->widget<QWidget>(qPrintable(control));
        QAccessibleInterface *found = QAccessible::queryAccessibleInterface(object);
        QVERIFY(found);
        QCOMPARE(int(found->role()), role);
        QCOMPARE(found->text(QAccessible::Name), name);
    }

    // A screen reader finds the labels from the window down, and the count's name follows the
    // count, beat by beat, started with its access key. (Qt tells a listening screen reader of
    // each change; none listens here, so Qt sends nothing.)
    void theCountReadsAsItChanges()
    {
        const QStringList labels = staticTexts(QAccessible::queryAccessibleInterface(&p->window));
        for (const char *caption : {"Tot. Battiti:", "0", "Min", "Max"})
            QVERIFY2(labels.contains(QLatin1String(caption)), qPrintable(labels.join('|')));
        QTest::keyClick(p->widget<QPushButton>("cmdAbilitaDisabilita"), Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(p->metronome.runState(), core::RunState::Running);
        QAccessibleInterface *counter =
            QAccessible::queryAccessibleInterface(p->widget<QLabel>("Label1"));
        for (const QString count : {"1", "2"}) {
            p->tick();
            QCOMPARE(counter->text(QAccessible::Name), count);
        }
        const QStringList texts = staticTexts(QAccessible::queryAccessibleInterface(&p->window));
        QVERIFY2(texts.contains("2") && !texts.contains("0") && !texts.contains("1"),
                 qPrintable(texts.join('|')));
    }

    // The banner takes the focus by Tab, and shows it has it.
    void theBannerShowsItsFocus()
    {
        auto *banner = p->widget<QWidget>("Picture1");
        const QImage unfocused = banner->grab().toImage();
        for (int tabs = 0; tabs < 8 && QApplication::focusWidget() != banner; ++tabs)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), banner);
        QTRY_VERIFY(banner->grab().toImage() != unfocused);
        QTest::keyClick(banner, Qt::Key_Tab);
        QTRY_COMPARE(banner->grab().toImage(), unfocused);
    }
};

QTEST_MAIN(WindowAccessTest)
#include "tst_window_access.moc"
