#include "platform/slider.h"
#include "platform/text_box.h"
#include "window/painted_controls.h"
#include "window/picture_box.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QFontInfo>
#include <QPushButton>
#include <QRadioButton>

using window::frmCadrel;

namespace {

QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

// A colour close enough to the expected one (antialiased edges aside, pixels are exact).
bool near(QColor actual, QColor expected, int tolerance = 8)
{
    return qAbs(actual.red() - expected.red()) <= tolerance &&
           qAbs(actual.green() - expected.green()) <= tolerance &&
           qAbs(actual.blue() - expected.blue()) <= tolerance;
}

const QColor darkYellow(192, 192, 0);
const QColor green(0, 255, 0);
const QColor grey(128, 128, 128);
const QColor black(0, 0, 0);

} // namespace

class WindowDesignTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<frmCadrel> form;

    QWidget *child(const QString &name) const { return form->findChild<QWidget *>(name); }

private slots:
    void init()
    {
        form = showNewWindow();
        QVERIFY(form);
    }
    void cleanup() { form.reset(); }

    void windowSizeAndPlace()
    {
        QCOMPARE(form->geometry(), twips(6180, 345, 5280, 7995));
        QCOMPARE(form->windowTitle(), "Ritmolino");
    }

    void childWindows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("Frame3") << "Frame3"
                                << "" << twips(120, 6600, 5055, 1335);
        QTest::newRow("Text2") << "Text2"
                               << "Frame3" << twips(1920, 120, 975, 330);
        QTest::newRow("Slider1") << "Slider1"
                                 << "Frame3" << twips(120, 480, 4815, 630);
        QTest::newRow("Picture1") << "Picture1"
                                  << "" << twips(-225, 600, 4455, 1335);
        QTest::newRow("toggle") << "cmdAbilitaDisabilita"
                                << "" << twips(1800, 0, 3495, 495);
        QTest::newRow("Frame1") << "Frame1"
                                << "" << twips(120, 5880, 5055, 615);
        QTest::newRow("Op1") << "Op1"
                             << "Frame1" << twips(240, 240, 1095, 255);
        QTest::newRow("Op2") << "Op2"
                             << "Frame1" << twips(2160, 240, 1095, 255);
    }
    void childWindows()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, geometry);
        QWidget *widget = child(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        QWidget *parent = container.isEmpty() ? form.get() : child(container);
        QCOMPARE(widget->parentWidget(), parent);
    }

    void paintedControls()
    {
        QCOMPARE(form->Label1->box(), twips(960, 0, 855, 495));
        QCOMPARE(form->Label2->box(), twips(0, 120, 975, 255));
        QCOMPARE(form->Label3->box(), twips(4560, 1080, 375, 255));
        QCOMPARE(form->Label4->box(), twips(240, 1080, 375, 255));
        QCOMPARE(form->Label2->caption(), "Tot. Battiti:");
        QCOMPARE(form->Label3->caption(), "Max");
        QCOMPARE(form->Label4->caption(), "Min");
        const std::array line2 = {form->Line2->X1(), form->Line2->Y1(), form->Line2->X2(),
                                  form->Line2->Y2()};
        QCOMPARE(line2, (std::array{2040, 6000, 2040, 2280}));
        QCOMPARE(form->Shape1->FillColor(), darkYellow);
    }

    void textsAndTooltips()
    {
        QCOMPARE(form->Frame1->caption(), "Suono: ");
        QCOMPARE(form->Op1->text(), "Suono");
        QCOMPARE(form->Op2->text(), "No Suono");
        QCOMPARE(form->Frame3->toolTip(), "Battiti per minuto");
        QCOMPARE(form->Text2->toolTip(), "Inserire i Bpm - Max 240");
        QCOMPARE(form->Text2->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }

    void accessibleNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("toggle") << "cmdAbilitaDisabilita"
                                << "Abilita";
        QTest::newRow("Op1") << "Op1"
                             << "Suono";
        QTest::newRow("Op2") << "Op2"
                             << "No Suono";
        QTest::newRow("Text2") << "Text2"
                               << "Inserire i Bpm - Max 240";
        QTest::newRow("Slider1") << "Slider1"
                                 << "Battiti per minuto";
        QTest::newRow("Picture1") << "Picture1"
                                  << "Ritmolino";
        QTest::newRow("Frame3") << "Frame3"
                                << "Battiti per minuto";
        QTest::newRow("Frame1") << "Frame1"
                                << "Suono:";
    }
    void accessibleNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, spoken);
        QAccessibleInterface *control = QAccessible::queryAccessibleInterface(child(name));
        QVERIFY(control);
        QCOMPARE(control->text(QAccessible::Name), spoken);
    }

    void toggleSpeaksItsNewCaption()
    {
        QTest::mouseClick(form->cmdAbilitaDisabilita, Qt::LeftButton);
        QAccessibleInterface *toggle =
            QAccessible::queryAccessibleInterface(form->cmdAbilitaDisabilita);
        QCOMPARE(toggle->text(QAccessible::Name), "Disabilita");
    }

    void fontsAndColours()
    {
        QCOMPARE(form->cmdAbilitaDisabilita->font().pointSizeF(), 12.0);
        QCOMPARE(form->Text2->font().pointSizeF(), 9.75);
        QVERIFY(form->Text2->font().bold());
        QCOMPARE(form->Op1->font().pointSizeF(), 8.25);
        // Missing design fonts fall to a metric-compatible face, not to a wider default.
        const QString used = QFontInfo(form->Op1->font()).family();
        QVERIFY2(used == "Arial" || used == "Liberation Sans", qPrintable(used));
        const QString body = QFontInfo(form->Frame1->font()).family();
        QVERIFY2(body == "MS Sans Serif" || body == "Liberation Sans", qPrintable(body));

        QCOMPARE(form->cmdAbilitaDisabilita->palette().color(QPalette::Button),
                 QColor(255, 255, 192));
        QCOMPARE(form->Op1->palette().color(QPalette::WindowText), QColor(128, 128, 0));
        // The tempo box takes the desktop's tooltip colour, whatever the theme makes it.
        QCOMPARE(form->Text2->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::ToolTipBase));
    }

    void stackingAsTheUserSeesIt()
    {
        const QImage image = form->grab().toImage();
        // The upright pendulum shows above the sound frame; its pivot lies under the frame.
        QVERIFY(near(image.pixelColor(136, 300), green));
        QVERIFY(near(image.pixelColor(136, 160), green));
        QVERIFY(!near(image.pixelColor(136, 398), green));
        // The light shows as a cap above the frame's top edge, beside the pendulum.
        QVERIFY(near(image.pixelColor(124, 388), darkYellow));
        QVERIFY(!near(image.pixelColor(124, 396), darkYellow));
        // The separator shows at the left and is covered by the counter and the toggle.
        QVERIFY(near(image.pixelColor(30, 32), grey));
        QVERIFY(!near(image.pixelColor(80, 32), grey));
        QVERIFY(!near(image.pixelColor(200, 32), grey));
        // Black background everywhere else.
        QVERIFY(near(image.pixelColor(340, 200), black));
        QVERIFY(near(image.pixelColor(20, 300), black));
    }

    void resizingMovesNothing()
    {
        const QRect frame = form->Frame3->geometry();
        form->resize(700, 900);
        QTRY_COMPARE(form->size(), QSize(700, 900));
        QCOMPARE(form->Frame3->geometry(), frame);
        QCOMPARE(form->Slider1->geometry(), twips(120, 480, 4815, 630));
        const QImage image = form->grab().toImage();
        QVERIFY(near(image.pixelColor(650, 850), black));
        form->resize(200, 200);
        QTRY_COMPARE(form->size(), QSize(200, 200));
        QCOMPARE(form->Frame3->geometry(), frame);
    }
};

QTEST_MAIN(WindowDesignTest)
#include "tst_window_design.moc"
