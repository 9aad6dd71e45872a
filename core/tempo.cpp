// The tempo: the slider holds it, the text box is a second way of entering it, the tempo frame
// shows it, and the beat timer's period follows it.
#include "core/tempo_rules.h"
#include "platform/conversions.h"
#include "platform/message_box.h"
#include "platform/periodic_timer.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "window/frm_cadrel.h"

namespace window {

// The beat timer restarts its countdown when the interval is set; the beats then fall on the
// exact period of the tempo, while the interval keeps its whole milliseconds.
void frmCadrel::applyBeatInterval()
{
    const int tempo = Slider1->value();
    tmrTimer->setInterval(core::beatIntervalMs(tempo),
                          platform::PeriodicTimer::Milliseconds(core::beatPeriodMs(tempo)));
}

void frmCadrel::Slider1_Change()
{
    applyBeatInterval();
    Frame3->setCaption(core::tempoCaption(Slider1->value()));
}

void frmCadrel::Slider1_Click()
{
    Text2->setText(platform::toDecimalText(Slider1->value()));
}

void frmCadrel::Text2_Change()
{
    if (Text2->text().isEmpty()) {
        Text2->setMarkedInvalid(false);
        platform::showMessage(this, QStringLiteral("Inserire un numero!"),
                              QStringLiteral("Cadrel"));
        return;
    }
    // A number that is no tempo (yet) stays in the box, in red, and leaves the tempo alone, so
    // that typing "1", "14", "140" digit by digit ends at 140.
    const auto tempo = core::tempoFromText(Text2->text(), Slider1->minimum(), Slider1->maximum());
    Text2->setMarkedInvalid(!tempo);
    if (tempo)
        Slider1->setValue(*tempo);
}

void frmCadrel::Text2_KeyPress(std::int16_t &KeyAscii)
{
    core::filterTempoKey(KeyAscii);
}

} // namespace window
