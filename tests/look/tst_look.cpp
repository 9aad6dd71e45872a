// The window as a person sees it on a real X server: pixels read back from the screen at the
// places the design fixes, and every caption measured against its control with the fonts the
// desktop actually gives it.
#include "caption_room.h"
#include "platform/text_box.h"
#include "screen_shot.h"
#include "window/pictures.h"
#include "window_fixture.h"

#include <QPushButton>

using look::captureScreen;
using look::describe;
using look::near;

namespace {

const QColor black(0, 0, 0);
const QColor green(0, 255, 0);
const QColor darkYellow(192, 192, 0);
const QColor paleYellow(255, 255, 192);
const QColor grey(128, 128, 128);

// The pendulum, in twips: its pivot under the sound frame and its free end in each pose.
const QPointF pivot(2040, 6000);
const QPointF uprightEnd(2040, 2280);
const QPointF leftEnd(240, 2850);
const QPointF rightEnd(4080, 2850);

// Points along the pendulum from the pivot towards its end, as fractions of its length: all
// above the sound frame's edge, short of the rounded tip, and far enough from the pivot that
// the three poses are tens of pixels apart.
constexpr double alongLine[] = {0.4, 0.55, 0.7, 0.85};

QPoint onPendulum(QPointF end, double fraction)
{
    const QPointF at = pivot + fraction * (end - pivot);
    return look::pixelAt(at.x(), at.y());
}

// Inside the cap of the light that shows above the sound frame (its edge is at y 392), left
// and right of the pendulum in every pose.
const QPoint lightCap[] = {{122, 388}, {151, 388}};
// Just under the sound frame's edge: the frame covers the rest of the light and the pivot.
const QPoint underFrameEdge[] = {{122, 396}, {136, 396}, {151, 396}};
// Open background: right of the banner, beside the pendulum, below it.
const QPoint background[] = {{340, 100}, {330, 200}, {20, 330}, {250, 350}, {5, 250}};
// The toggle's face, well inside its edges and clear of its centred caption.
const QPoint toggleFace[] = {{135, 16}, {340, 16}, {236, 3}};
const QRect toggleCaption(170, 6, 132, 22);
// The separator along the top shows left of the counter; the counter and the toggle cover it.
const QPoint separator(30, 32);
const QPoint separatorCovered[] = {{80, 32}, {200, 32}};

// The colour at `at` is `expected`, or (`shows` false) is not.
void verifyColourAt(const QImage &shot, const QPoint &at, const QColor &expected, int tolerance,
                    const char *what, bool shows = true)
{
    const QColor actual = shot.pixelColor(at);
    QVERIFY2(near(actual, expected, tolerance) == shows,
             qPrintable(QStringLiteral("%1: %2").arg(what, describe(at, actual))));
}

// The pendulum shows on screen along `shown` and nowhere along the other poses.
void verifyPendulum(const QImage &shot, QPointF shown)
{
    for (const QPointF end : {uprightEnd, leftEnd, rightEnd})
        for (const double fraction : alongLine)
            verifyColourAt(shot, onPendulum(end, fraction), green, 24,
                           end == uprightEnd ? "upright pendulum"
                           : end == leftEnd  ? "pendulum leaning left"
                                             : "pendulum leaning right",
                           end == shown);
}

int darkPixels(const QImage &shot, const QRect &area)
{
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            dark += qGray(shot.pixel(x, y)) < 96;
    return dark;
}

} // namespace

class LookTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgram> p;
    window::MetronomeWindow *form = nullptr;

    void pressToggle()
    {
        QTest::mouseClick(p->widget<QPushButton>("cmdAbilitaDisabilita"), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a real X server (QT_QPA_PLATFORM=xcb), as under xvfb-run");
    }

    void init()
    {
        p = showNewProgram();
        QVERIFY(p);
        form = &p->window;
        // The design's twips become pixels one to one only on a screen of 96 dots per inch
        // that Qt does not scale.
        QCOMPARE(form->screen()->logicalDotsPerInch(), 96.0);
        QCOMPARE(form->devicePixelRatio(), 1.0);
    }
    void cleanup() { p.reset(); }

    void bannerInPictureBox()
    {
        const QImage shot = captureScreen(*form, QStringLiteral("banner"));
        const QImage banner = window::bannerPicture().toImage();
        QCOMPARE(banner.size(), QSize(300, 100));
        // The box reaches past the window's left edge; the picture sits unscaled in its corner.
        const QRect box = platform::rectFromTwips(-225, 600, 4455, 1335);
        const QRect shown = box.intersected(shot.rect());
        int gold = 0;
        for (int y = shown.top(); y <= shown.bottom(); ++y) {
            for (int x = shown.left(); x <= shown.right(); ++x) {
                const QColor onScreen = shot.pixelColor(x, y);
                const QColor drawn = banner.pixelColor(QPoint(x, y) - box.topLeft());
                QVERIFY2(near(onScreen, drawn, 8), qPrintable(describe({x, y}, onScreen)));
                gold += look::isGold(onScreen);
            }
        }
        // The lettering is there and takes a fair part of the box, not a stray dot.
        const int area = shown.width() * shown.height();
        QVERIFY2(gold * 20 > area, qPrintable(QStringLiteral("%1 of %2").arg(gold).arg(area)));
        // What exceeds the box is cut off: black to its right and beneath it.
        for (const QPoint &at : {QPoint(box.right() + 3, 60), QPoint(box.right() + 3, 90),
                                 QPoint(100, box.bottom() + 3), QPoint(200, box.bottom() + 3)})
            verifyColourAt(shot, at, black, 8, "beyond the picture box");
    }

    // The window as the design leaves it, and after beats: the pendulum green, standing on the
    // sound frame's edge over the light, which shows as a cap above it.
    void pendulumAndLightAfterBeats_data()
    {
        // Each pose once; which pose a count and a stop leave is tst_beats'.
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("beats");
        QTest::addColumn<QPointF>("end");
        QTest::addColumn<QColor>("light");
        QTest::newRow("design") << false << 0 << uprightEnd << darkYellow;
        QTest::newRow("started-count-0") << true << 0 << leftEnd << darkYellow;
        QTest::newRow("count-1") << true << 1 << rightEnd << paleYellow;
    }
    void pendulumAndLightAfterBeats()
    {
        QFETCH(bool, started);
        QFETCH(int, beats);
        QFETCH(QPointF, end);
        QFETCH(QColor, light);
        if (started)
            pressToggle();
        for (int i = 0; i < beats; ++i)
            p->tick();
        const QImage shot =
            captureScreen(*form, QStringLiteral("beats-%1").arg(QTest::currentDataTag()));
        QCOMPARE(shot.size(), look::designedScreenArea().size());
        verifyPendulum(shot, end);
        for (const QPoint &at : lightCap)
            verifyColourAt(shot, at, light, 12, "light");
        for (const QPoint &at : underFrameEdge)
            verifyColourAt(shot, at, black, 8, "under the sound frame's edge");
        for (const QPoint &at : background)
            verifyColourAt(shot, at, black, 8, "background");
        for (const QPoint &at : toggleFace)
            verifyColourAt(shot, at, paleYellow, 12, "toggle face");
        QVERIFY2(darkPixels(shot, toggleCaption) > 40, "no caption on the toggle");
        verifyColourAt(shot, separator, grey, 8, "separator");
        for (const QPoint &at : separatorCovered)
            verifyColourAt(shot, at, grey, 8, "separator, covered", false);
        if (end == uprightEnd) {
            verifyColourAt(shot, {136, 386}, green, 24, "pendulum over the light");
            verifyColourAt(shot, {136, 160}, green, 24, "pendulum near its top");
            verifyColourAt(shot, {136, 146}, black, 8, "above the pendulum's top");
        }
    }

    // Every caption fits its control; of the tempo frame and box, the widest, at the fastest.
    void captionsFit_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("presses");   // of the toggle, before measuring
        QTest::addColumn<QString>("typed"); // into the tempo box, before measuring
        // clang-format off
        QTest::newRow("toggle-abilita") << "cmdAbilitaDisabilita" << "&Abilita" << 0 << "";
        QTest::newRow("toggle-disabilita") << "cmdAbilitaDisabilita" << "&Disabilita" << 1 << "";
        QTest::newRow("Op1") << "Op1" << "Suono" << 0 << "";
        QTest::newRow("Op2") << "Op2" << "No Suono" << 0 << "";
        QTest::newRow("Frame1") << "Frame1" << "Suono: " << 0 << "";
        QTest::newRow("Frame3-tempo-250") << "Frame3" << "Bpm  250" << 0 << "250";
        QTest::newRow("Text2-250") << "Text2" << "250" << 0 << "250";
        QTest::newRow("Label1") << "Label1" << "0" << 0 << "";
        QTest::newRow("Label2") << "Label2" << "Tot. Battiti:" << 0 << "";
        QTest::newRow("Label3") << "Label3" << "Max" << 0 << "";
        QTest::newRow("Label4") << "Label4" << "Min" << 0 << "";
        // clang-format on
    }
    void captionsFit()
    {
        QFETCH(QString, control);
        QFETCH(QString, caption);
        QFETCH(int, presses);
        QFETCH(QString, typed);
        for (int i = 0; i < presses; ++i)
            pressToggle();
        if (!typed.isEmpty()) {
            auto *box = p->widget<platform::TextBox>("Text2");
            box->selectAll();
            typeText(box, typed);
        }

        const look::CaptionRoom measured = look::roomFor(*form, control);
        QVERIFY2(measured.fault.isEmpty(), qPrintable(measured.fault));
        QCOMPARE(measured.caption, caption);
        QVERIFY2(measured.needed.width() <= measured.room.width() &&
                     measured.needed.height() <= measured.room.height(),
                 qPrintable(QStringLiteral("\"%1\" in %2 needs %3x%4, has %5x%6")
                                .arg(caption, measured.family)
                                .arg(measured.needed.width())
                                .arg(measured.needed.height())
                                .arg(measured.room.width())
                                .arg(measured.room.height())));
    }
};

QTEST_MAIN(LookTest)
#include "tst_look.moc"
