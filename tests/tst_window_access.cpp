// Reaching the window as people do: a click anywhere on an option button, Enter on the focused
// toggle, and a screen reader that reads the painted labels and hears the count change.
#include "platform/buttons.h"
#include "platform/periodic_timer.h"
#include "platform/text_box.h"
#include "window/painted_controls.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QPushButton>
#include <QRadioButton>

using window::frmCadrel;

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

    std::unique_ptr<frmCadrel> form;

private slots:
    void init()
    {
        form = showNewWindow();
        QVERIFY(form);
        form->tmrTimer->setEnabled(false); // the test delivers the beats itself
    }
    void cleanup() { form.reset(); }

    void optionButtonsAnswerAClickAnywhere_data()
    {
        QTest::addColumn<bool>("first");    // Op1 ("Suono") or Op2 ("No Suono")
        QTest::addColumn<double>("across"); // where, as a share of the button's width
        QTest::newRow("Suono, left edge") << true << 0.02;
        QTest::newRow("Suono, empty left part") << true << 0.15;
        QTest::newRow("Suono, right edge") << true << 0.98;
        QTest::newRow("No Suono, left edge") << false << 0.02;
        QTest::newRow("No Suono, right edge") << false << 0.98;
    }
    void optionButtonsAnswerAClickAnywhere()
    {
        QFETCH(bool, first);
        QFETCH(double, across);
        QRadioButton *target = first ? form->Op1 : form->Op2;
        QRadioButton *other = first ? form->Op2 : form->Op1;
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
        QCOMPARE(form->focusWidget(), form->cmdAbilitaDisabilita);
        QTest::keyClick(form->cmdAbilitaDisabilita, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_COMPARE(form->cmdAbilitaDisabilita->text(), "&Disabilita");
        QTest::keyClick(form->cmdAbilitaDisabilita, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_COMPARE(form->cmdAbilitaDisabilita->text(), "&Abilita");
        // Elsewhere Enter does not reach the toggle: in the tempo box it is discarded.
        form->Text2->setFocus();
        QTest::keyClick(form->Text2, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTest::qWait(300); // as long as the toggle's press would take to show
        QCOMPARE(form->cmdAbilitaDisabilita->text(), "&Abilita");
        QCOMPARE(form->Text2->text(), "40");
    }

    void screenReadersFindThePaintedLabels()
    {
        QAccessibleInterface *root = QAccessible::queryAccessibleInterface(form.get());
        QVERIFY(root);
        const QStringList texts = staticTexts(root);
        for (const char *caption : {"Tot. Battiti:", "0", "Min", "Max"})
            QVERIFY2(texts.contains(QLatin1String(caption)), qPrintable(texts.join('|')));
        // Each is where it is drawn: the count's box on screen.
        const QRect count = form->Label1->box();
        bool placed = false;
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->role() == QAccessible::StaticText &&
                root->child(i)->text(QAccessible::Name) == "0")
                placed = root->child(i)->rect() ==
                         QRect(form->mapToGlobal(count.topLeft()), count.size());
        QVERIFY(placed);
    }

    // The count's interface follows the count; Qt tells an active screen reader of each change
    // (it sends nothing where none listens, as here).
    void theCountReadsAsItChanges()
    {
        QAccessibleInterface *root = QAccessible::queryAccessibleInterface(form.get());
        QTest::mouseClick(form->cmdAbilitaDisabilita, Qt::LeftButton);
        form->tmrTimer_Timer({core::BeatTime::Clock::now(), {}, 0});
        form->tmrTimer_Timer({core::BeatTime::Clock::now(), {}, 0});
        const QStringList texts = staticTexts(root);
        QVERIFY2(texts.contains("2") && !texts.contains("0") && !texts.contains("1"),
                 qPrintable(texts.join('|')));
    }
};

QTEST_MAIN(WindowAccessTest)
#include "tst_window_access.moc"
