#pragma once

#include "core/beat_rules.h"
#include "core/metronome.h"
#include "window/design.h"
#include "window/surface.h"

#include <map>
#include <string>
#include <string_view>

namespace platform {
class CommandButton;
class OptionButton;
class Slider;
class TextBox;
} // namespace platform

namespace window {

class Label;
class Line;
class PictureBox;
class Shape;

// The metronome's one window, frmCadrel as designed. It shows the metronome (the tempo in the
// slider and the tempo frame, the start/stop toggle, the beat count, the pendulum and the beat
// light, the count in the caption while minimised) and hands the user's actions to it. The
// controls are made from the design table, and keep their design names as object names.
class MetronomeWindow : public Surface
{
    Q_OBJECT

public:
    explicit MetronomeWindow(core::Metronome &metronome, QWidget *parent = nullptr);
    ~MetronomeWindow() override;

    // A control painted on the window or a frame, by its design name ("Label1", "Line2"), for
    // tests and tools to read what is shown. The child windows are found by their object names.
    template <class Control> const Control &painted(std::string_view name) const
    {
        return dynamic_cast<const Control &>(*m_painted.at(std::string(name)));
    }

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
    void showRunState(core::RunState state);
    void showBeat(const QString &count);
    void showPose(const QString &count);

    core::Metronome &m_metronome;
    std::map<std::string, PaintedControl *, std::less<>> m_painted;

    Frame *m_tempoFrame = nullptr;
    platform::TextBox *m_tempoBox = nullptr;
    platform::Slider *m_tempoSlider = nullptr;
    PictureBox *m_banner = nullptr;
    platform::CommandButton *m_startStop = nullptr;
    platform::OptionButton *m_soundOn = nullptr;
    Label *m_beatCounter = nullptr;
    Shape *m_beatLight = nullptr;
    Line *m_pendulum = nullptr;
};

} // namespace window
