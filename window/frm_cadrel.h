#pragma once

#include "core/beat_time.h"
#include "window/surface.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class QPushButton;
class QRadioButton;

namespace platform {
class PeriodicTimer;
class Sound;
class Slider;
class TextBox;
} // namespace platform

namespace window {

class Label;
class Line;
class PictureBox;
class Shape;

// The metronome's one window. Its state lives in its controls (the slider holds the tempo, the
// counter label the beat count) and in the run flag; its behaviour is the handlers below, one
// per control notification, defined beside the rules they use (core/ and window/pendulum.cpp).
class frmCadrel : public Surface
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    explicit frmCadrel(QWidget *parent = nullptr);
    ~frmCadrel() override;

    // The controls, in creation order, by their design names.
    Frame *Frame3 = nullptr;
    platform::TextBox *Text2 = nullptr;
    platform::Slider *Slider1 = nullptr;
    Label *Label3 = nullptr;
    Label *Label4 = nullptr;
    PictureBox *Picture1 = nullptr;
    QPushButton *cmdAbilitaDisabilita = nullptr;
    platform::PeriodicTimer *Timer1 = nullptr;
    Frame *Frame1 = nullptr;
    QRadioButton *Op1 = nullptr;
    QRadioButton *Op2 = nullptr;
    platform::PeriodicTimer *tmrTimer = nullptr;
    Label *Label2 = nullptr;
    Shape *Shape1 = nullptr;
    Line *Line2 = nullptr;
    Line *Line1 = nullptr;
    Label *Label1 = nullptr;

    // The run flag: empty until the first start, then 1 while running and 0 once stopped.
    std::optional<std::int16_t> Abilitato;

    // Tempo and beat interval (core/tempo.cpp).
    void Slider1_Change();
    void Slider1_Click();
    void Text2_Change();
    void Text2_KeyPress(std::int16_t &KeyAscii);

    // Start and stop (core/run_control.cpp).
    void cmdAbilitaDisabilita_Click();

    // The beat (core/beat_tick.cpp), told when the tick was due.
    void tmrTimer_Timer(const core::BeatTime &beat);

    // The pendulum and the beat light (window/pendulum.cpp).
    void Timer1_Timer();

    // The click's player; its output opens with the window.
    const std::unique_ptr<platform::Sound> sound;

protected:
    bool focusNextPrevChild(bool next) override;

private:
    void createControls();
    void showPictures();
    void setTabOrder();
    void connectNotifications();
    void applyBeatInterval();
    void advanceCount();
    void refreshCaption();
};

} // namespace window
