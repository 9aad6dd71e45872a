#include "onset_finder.h"
#include "platform/periodic_timer.h"
#include "platform/slider.h"
#include "platform/sound/sound.h"
#include "window/painted_controls.h"
#include "window_fixture.h"

#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>

using window::frmCadrel;
using Clock = std::chrono::steady_clock;

namespace {

struct Pose {
    int x1, y1, x2, y2;
    QColor light;
    bool operator==(const Pose &) const = default;
};

Pose poseOf(const frmCadrel &form)
{
    return {form.Line2->X1(), form.Line2->Y1(), form.Line2->X2(), form.Line2->Y2(),
            form.Shape1->FillColor()};
}

const Pose upright{2040, 6000, 2040, 2280, QColor(192, 192, 0)};
const Pose left{2040, 6000, 240, 2850, QColor(192, 192, 0)};
const Pose right{2040, 6000, 4080, 2850, QColor(255, 255, 192)};

// Where a user clicks to choose an option: on its round button.
void choose(QRadioButton *option)
{
    QStyleOptionButton style;
    style.initFrom(option);
    const QRect button =
        option->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &style, option);
    QTest::mouseClick(option, Qt::LeftButton, {}, button.center());
}

QString recordingPath()
{
    return qEnvironmentVariable("SDL_DISKAUDIOFILE");
}

// The clicks the listener heard, from what the sound output wrote.
int clicksHeard(const platform::Sound::Stats &output)
{
    // The disk driver takes the mix as it is made, in floats.
    const auto samples =
        cadrel_test::readRaw(recordingPath().toStdString(), "f32le", output.channels);
    // Beats at 250 bpm are 240 ms apart; clicks end within 40 ms.
    return int(cadrel_test::findOnsets(samples, 0.05f, output.rate / 10).size());
}

} // namespace

class BeatsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<frmCadrel> form;

    void press() { QTest::mouseClick(form->cmdAbilitaDisabilita, Qt::LeftButton); }
    // Starts, and from then on the test delivers every beat itself, however slow the machine.
    void startByHand()
    {
        press();
        form->tmrTimer->setEnabled(false);
    }
    // A tick of the beat timer, delivered now rather than waited for.
    void beat() { form->tmrTimer_Timer({Clock::now(), {}, 0}); }
    QString count() const { return form->Label1->caption(); }

private slots:
    void init()
    {
        form = showNewWindow();
        QVERIFY(form);
    }
    void cleanup() { form.reset(); }

    void firstPressStarts()
    {
        const auto before = Clock::now();
        press();
        QCOMPARE(form->Abilitato, std::optional<std::int16_t>(1));
        QCOMPARE(form->cmdAbilitaDisabilita->text(), "&Disabilita");
        QVERIFY(form->Timer1->isEnabled());
        // The tempo of 40 replaces the design interval, and the countdown starts at the press.
        QCOMPARE(form->tmrTimer->interval(), 1500);
        QVERIFY(form->tmrTimer->countdownStart() >= before);
        QCOMPARE(count(), "0");
    }

    void secondPressStopsAndKeepsCountAndPendulum()
    {
        startByHand();
        beat();
        beat();
        beat();
        QTRY_COMPARE(poseOf(*form), right);
        press();
        QCOMPARE(form->Abilitato, std::optional<std::int16_t>(0));
        QCOMPARE(form->cmdAbilitaDisabilita->text(), "&Abilita");
        QVERIFY(form->Timer1->isEnabled()); // the pendulum keeps following the count
        beat();                             // a tick while stopped does nothing
        QCOMPARE(count(), "3");
        QTest::qWait(50);
        QCOMPARE(poseOf(*form), right);
    }

    void stoppingAndStartingContinuesTheCount()
    {
        startByHand();
        beat();
        beat();
        press();
        press();
        QCOMPARE(form->tmrTimer->interval(), 1500);
        beat();
        QCOMPARE(count(), "3");
    }

    void accessKeysFollowTheCaption()
    {
        const auto altKey = [](Qt::Key key) {
            QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
            QTest::qWait(250); // a button pressed by its key shows itself pressed for a moment
        };
        altKey(Qt::Key_D); // not the toggle's key yet
        QVERIFY(!form->Abilitato.has_value());
        altKey(Qt::Key_A);
        QCOMPARE(form->Abilitato, std::optional<std::int16_t>(1));
        altKey(Qt::Key_A); // now it reads "&Disabilita"
        QCOMPARE(form->Abilitato, std::optional<std::int16_t>(1));
        altKey(Qt::Key_D);
        QCOMPARE(form->Abilitato, std::optional<std::int16_t>(0));
        QCOMPARE(form->cmdAbilitaDisabilita->text(), "&Abilita");
    }

    void ticksBeforeTheFirstStartDoNothing()
    {
        beat();
        QCOMPARE(count(), "0");
        QCOMPARE(form->windowTitle(), "Ritmolino");
        // The pendulum stands upright with the dark yellow light however long the window is open.
        QTest::qWait(1200); // past the first real tick of the beat timer, at 1000 ms
        QCOMPARE(count(), "0");
        QVERIFY(!form->Timer1->isEnabled());
        QCOMPARE(poseOf(*form), upright);
    }

    void pendulumFollowsTheParity()
    {
        startByHand();
        QTRY_COMPARE_WITH_TIMEOUT(poseOf(*form), left, 1000); // count 0
        beat();
        QTRY_COMPARE_WITH_TIMEOUT(poseOf(*form), right, 1000); // count 1
        beat();
        QTRY_COMPARE_WITH_TIMEOUT(poseOf(*form), left, 1000);
    }

    void captionShowsTheCountWhileMinimised()
    {
        startByHand();
        for (int i = 0; i < 11; ++i)
            beat();
        QCOMPARE(count(), "11");
        QCOMPARE(form->windowTitle(), "Ritmolino");
        form->showMinimized();
        QTRY_VERIFY(form->isMinimized());
        QCOMPARE(form->windowTitle(), "Ritmolino"); // only a beat changes the caption
        beat();
        QCOMPARE(form->windowTitle(), "Cadrel 12");
        form->showNormal();
        QTRY_VERIFY(!form->isMinimized());
        QCOMPARE(form->windowTitle(), "Cadrel 12");
        beat();
        QCOMPARE(form->windowTitle(), "Ritmolino");
        // Stopped, the caption is left as the last running beat set it.
        form->showMinimized();
        QTRY_VERIFY(form->isMinimized());
        beat();
        QCOMPARE(form->windowTitle(), "Cadrel 14");
        press();
        form->showNormal();
        QTRY_VERIFY(!form->isMinimized());
        beat();
        QCOMPARE(form->windowTitle(), "Cadrel 14");
    }

    void runningBeatsAreCountedAndHeard()
    {
        // At the fastest tempo the real beat timer runs for a few beats, with "Suono", then
        // with "No Suono", then with "Suono" again: every beat counts, only sounded ones click.
        form->Slider1->setValue(250);
        press();
        QTRY_COMPARE_WITH_TIMEOUT(count(), "3", 5000);
        choose(form->Op2);
        QVERIFY(form->Op2->isChecked());
        const int silentFrom = count().toInt();
        QTRY_VERIFY_WITH_TIMEOUT(count().toInt() >= silentFrom + 3, 5000);
        choose(form->Op1);
        QVERIFY(form->Op1->isChecked());
        const int soundFrom = count().toInt();
        QTRY_VERIFY_WITH_TIMEOUT(count().toInt() >= soundFrom + 3, 5000);
        press();
        const int total = count().toInt();
        QTest::qWait(400); // the last click reaches the output
        const int sounded = silentFrom + (total - soundFrom);
        const auto output = form->sound->stats();
        if (!output.deviceOpen)
            QSKIP("no sound output could be opened");
        form.reset(); // closes the output, so the recording is complete
        QCOMPARE(clicksHeard(output), sounded);
    }
};

QTEST_MAIN(BeatsTest)
#include "tst_beats.moc"
