#pragma once

#include "core/metronome.h"
#include "window/surface.h"

#include <QFont>

class QLabel;

namespace platform {
class CommandButton;
class OptionButton;
class Slider;
class TextBox;
} // namespace platform

namespace window {

class Pendulum;
class PictureBox;

// The metronome's one window, frmCadrel as designed. It shows the metronome (its tempo in the
// tempo frame's caption, on the slider and in the box; the start/stop toggle; the sound choice;
// the beat count, the pendulum and the beat light; the count in the caption while minimised)
// and hands the user's actions to it. The controls are made from the design table, and keep
// their design names as object names.
class MetronomeWindow : public Surface
{
    Q_OBJECT

public:
    explicit MetronomeWindow(core::Metronome &metronome, QWidget *parent = nullptr);
    ~MetronomeWindow() override;

protected:
    bool focusNextPrevChild(bool next) override;

private:
    void createControls();
    void showPictures();
    void setTabOrder();
    void connectControls();
    void connectMetronome();

    // The user's actions.
    void tempoTyped();
    // What the metronome says.
    void showTempo(int bpm);
    void showTempoInBox(int bpm);
    void showRunState(core::RunState state);
    void showSoundOn(bool on);
    void showBeat(const QString &count);
    void showCount(const QString &count);

    core::Metronome &m_metronome;

    Frame *m_tempoFrame = nullptr;
    platform::TextBox *m_tempoBox = nullptr;
    platform::Slider *m_tempoSlider = nullptr;
    PictureBox *m_banner = nullptr;
    platform::CommandButton *m_startStop = nullptr;
    platform::OptionButton *m_soundOn = nullptr;
    platform::OptionButton *m_soundOff = nullptr;
    QLabel *m_beatCounter = nullptr;
    QFont m_beatCounterFont;
    Pendulum *m_pendulum = nullptr;
};

} // namespace window
