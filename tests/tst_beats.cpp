// Start, stop and the beats, through the window: the toggle and its keys, the count, the
// caption while minimised, the pendulum and the light; and, with the real sound output, every
// beat counted and every sounded one heard.
#include "onset_finder.h"
#include "program.h"
#include "window_fixture.h"

#include <QPushButton>
#include <QRadioButton>

namespace {

// Which way the pendulum leans and the light's colour, as a picture of the window shows them.
enum class Lean { Upright, Left, Right, Unclear };
struct Shown {
    Lean lean;
    QRgb light;
    bool operator==(const Shown &) const = default;
};

const QRgb darkYellow = qRgb(192, 192, 0);
const QRgb paleYellow = qRgb(255, 255, 192);

// Seven tenths of the way from the pivot (136, 400) to the free end of each pose, in pixels,
// and a point of the light's cap above the sound frame.
Shown shownBy(QWidget &window)
{
    const QImage image = window.grab().toImage();
    const auto green = [&image](int x, int y) { return image.pixel(x, y) == qRgb(0, 255, 0); };
    const bool upright = green(136, 226), left = green(52, 253), right = green(231, 253);
    Lean lean = Lean::Unclear;
    if (upright + left + right == 1)
        lean = upright ? Lean::Upright : left ? Lean::Left : Lean::Right;
    return {lean, image.pixel(122, 388)};
}

const Shown leftDark{Lean::Left, darkYellow};
const Shown rightPale{Lean::Right, paleYellow};

} // namespace

class BeatsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgram> p;
    QPushButton *toggle() { return p->widget<QPushButton>("cmdAbilitaDisabilita"); }
    void press() { QTest::mouseClick(toggle(), Qt::LeftButton); }
    QString count() { return p->shown("Label1"); }

private slots:
    void init()
    {
        p = showNewProgram();
        QVERIFY(p);
    }
    void cleanup() { p.reset(); }

    // Before the first start the pendulum stands upright with the dark yellow light, and ticks
    // change nothing. The first press starts: the toggle reads "Disabilita", and the beat runs
    // (on the metronome's period, tst_metronome's); a second press stops, and the count and the
    // pendulum stay; ticks while stopped do nothing; starting again counts on.
    void startStopAndTheCount()
    {
        p->tick();
        QCOMPARE(count(), "0");
        QCOMPARE(shownBy(p->window), (Shown{Lean::Upright, darkYellow}));
        press();
        QCOMPARE(toggle()->text(), "&Disabilita");
        QVERIFY(p->beats.running);
        QCOMPARE(shownBy(p->window), leftDark);
        p->tick();
        p->tick();
        p->tick();
        QCOMPARE(count(), "3");
        QCOMPARE(shownBy(p->window), rightPale);
        press();
        QCOMPARE(toggle()->text(), "&Abilita");
        p->tick();
        QCOMPARE(count(), "3");
        QCOMPARE(shownBy(p->window), rightPale);
        press();
        p->tick();
        QCOMPARE(count(), "4");
        QCOMPARE(shownBy(p->window), leftDark);
    }

    void accessKeysFollowTheCaption()
    {
        const auto altKey = [](Qt::Key key) {
            QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
            QTest::qWait(250); // a button pressed by its key shows itself pressed for a moment
        };
        altKey(Qt::Key_D); // not the toggle's key yet
        QCOMPARE(p->metronome.runState(), core::RunState::NeverStarted);
        altKey(Qt::Key_A);
        QCOMPARE(p->metronome.runState(), core::RunState::Running);
        altKey(Qt::Key_A); // now it reads "&Disabilita"
        QCOMPARE(p->metronome.runState(), core::RunState::Running);
        altKey(Qt::Key_D);
        QCOMPARE(p->metronome.runState(), core::RunState::Stopped);
    }

    void captionShowsTheCountWhileMinimised()
    {
        press();
        for (int i = 0; i < 11; ++i)
            p->tick();
        QCOMPARE(p->window.windowTitle(), "Ritmolino");
        p->window.showMinimized();
        QTRY_VERIFY(p->window.isMinimized());
        QCOMPARE(p->window.windowTitle(), "Ritmolino"); // only a beat changes the caption
        p->tick();
        QCOMPARE(p->window.windowTitle(), "Cadrel 12");
        p->window.showNormal();
        QTRY_VERIFY(!p->window.isMinimized());
        QCOMPARE(p->window.windowTitle(), "Cadrel 12");
        p->tick();
        QCOMPARE(p->window.windowTitle(), "Ritmolino");
        // Stopped, the caption is left as the last running beat set it.
        p->window.showMinimized();
        QTRY_VERIFY(p->window.isMinimized());
        p->tick();
        QCOMPARE(p->window.windowTitle(), "Cadrel 14");
        press();
        p->window.showNormal();
        QTRY_VERIFY(!p->window.isMinimized());
        p->tick();
        QCOMPARE(p->window.windowTitle(), "Cadrel 14");
    }

    // The whole program, with its real sound output, at the fastest tempo: a few beats with
    // "Suono", then with "No Suono", then with "Suono" again. Every beat counts; only the
    // sounded ones are heard in what the sound output wrote.
    void runningBeatsAreCountedAndHeard()
    {
        p.reset();
        auto program = std::make_unique<Program>();
        auto &window = program->window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto beats = [&] { return window.findChild<QLabel *>("Label1")->text().toInt(); };
        auto *soundOn = window.findChild<QRadioButton *>("Op1");
        auto *soundOff = window.findChild<QRadioButton *>("Op2");
        QTest::keyClick(window.findChild<QSlider *>("Slider1"), Qt::Key_End);
        QCOMPARE(program->metronome.tempo(), core::kFastestTempo);
        QTest::mouseClick(window.findChild<QPushButton *>("cmdAbilitaDisabilita"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(beats() >= 3, 5000);
        QTest::mouseClick(soundOff, Qt::LeftButton);
        const int silentFrom = beats();
        QTRY_VERIFY_WITH_TIMEOUT(beats() >= silentFrom + 3, 5000);
        QTest::mouseClick(soundOn, Qt::LeftButton);
        const int soundFrom = beats();
        QTRY_VERIFY_WITH_TIMEOUT(beats() >= soundFrom + 3, 5000);
        QTest::mouseClick(window.findChild<QPushButton *>("cmdAbilitaDisabilita"), Qt::LeftButton);
        const int total = beats();
        QTest::qWait(400); // the last click reaches the output
        const auto stats = program->sound.stats();
        if (!stats.output.deviceOpen)
            QSKIP("no sound output could be opened");
        // Every beat counted was heard; the clicks written are all in the file; and the beats
        // counted without sound had none, but for the one at each switch whose click SDL may
        // already hold.
        QCOMPARE(stats.beats.heard, std::int64_t(total));
        const auto clicks = std::int64_t(stats.beats.onsets.size());
        const std::int64_t sounded = silentFrom + total - soundFrom;
        QVERIFY(clicks >= sounded && clicks <= sounded + 2);
        const auto samples = cadrel_test::readRaw(
            qEnvironmentVariable("SDL_DISKAUDIOFILE").toStdString(), "f32le", 2);
        // Beats at the fastest tempo are 240 ms apart or more; clicks end within 40 ms.
        QCOMPARE(std::int64_t(cadrel_test::findOnsets(samples, 0.05f, 48000 / 10).size()), clicks);
    }
};

QTEST_MAIN(BeatsTest)
#include "tst_beats.moc"
