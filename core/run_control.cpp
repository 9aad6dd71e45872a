// Start and stop: one toggle whose caption names what it will do next.
#include "platform/periodic_timer.h"
#include "window/frm_cadrel.h"

#include <QPushButton>

namespace window {

void frmCadrel::cmdAbilitaDisabilita_Click()
{
    if (Abilitato == 1) {
        Abilitato = 0;
        cmdAbilitaDisabilita->setText(QStringLiteral("&Abilita"));
    } else {
        Abilitato = 1;
        cmdAbilitaDisabilita->setText(QStringLiteral("&Disabilita"));
        // Once started, the pendulum follows the count until the program ends.
        Timer1->setEnabled(true);
    }
    // Every press restarts the beat, so the first beat after a start comes one full interval
    // after the press.
    applyBeatInterval();
}

} // namespace window
