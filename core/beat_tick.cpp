// The beat: while running, each beat-timer tick sounds the click (when sound is chosen), counts
// the beat in the counter label and refreshes the caption. Ticks while stopped do nothing.
#include "core/beat_rules.h"
#include "platform/periodic_timer.h"
#include "platform/program_folder.h"
#include "platform/sound/sound.h"
#include "window/frm_cadrel.h"
#include "window/painted_controls.h"

#include <QRadioButton>

namespace window {

void frmCadrel::tmrTimer_Timer(const core::BeatTime &beat)
{
    if (Abilitato == 1 && Op1->isChecked()) {
        const std::string path =
            core::soundPath(platform::programFolder(), platform::pathSeparator());
        // The click lands on the tick's due time, not on whenever this handler got to run.
        sound->play(path, beat);
        advanceCount();
        refreshCaption();
    }
    if (Abilitato == 1 && !Op1->isChecked()) {
        advanceCount();
        refreshCaption();
    }
}

void frmCadrel::advanceCount()
{
    Label1->setCaption(core::advanceCount(Label1->caption()));
    Timer1->wake(); // the pendulum reads the new count at its next tick
}

void frmCadrel::refreshCaption()
{
    setWindowTitle(core::beatCaption(isMinimized(), Label1->caption()));
}

} // namespace window
