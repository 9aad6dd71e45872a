#pragma once

#include "platform/colours.h"

#include <optional>
#include <span>
#include <string_view>

// The window as designed: every control with its design name, container, geometry, texts,
// fonts, colours and settings; the window is built from these rows in their order. Positions
// and sizes are in twips, relative to the container (the window's client area or a frame's
// outer edge); colours are 0x00BBGGRR or 0x800000nn system colours.
namespace window {

using platform::DesignColour;

enum class Kind {
    Frame,
    TextBox,
    Slider,
    Label,
    PictureBox,
    CommandButton,
    OptionButton,
    Shape,
    Line
};

enum class Align { Left, Centre };

struct FontDesign {
    const char *family = "MS Sans Serif";
    double points = 8.25;
    bool bold = false;
};

struct ControlDesign {
    const char *name = "";
    Kind kind = Kind::Label;
    const char *container = nullptr; // nullptr: the window's client area

    int left = 0, top = 0, width = 0, height = 0; // lines use x1, y1, x2, y2 instead
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    const char *caption = nullptr;
    FontDesign font{};
    std::optional<DesignColour> back =
        std::nullopt; // background, or face colour of a graphical button
    std::optional<DesignColour> fore = std::nullopt; // text, caption or line colour
    std::optional<DesignColour> fill = std::nullopt; // a shape's fill
    const char *toolTip = nullptr;
    const char *accessibleName = nullptr; // for screen readers, where neither caption nor tooltip
                                          // names the control
    int tabIndex = -1;                    // -1: never takes the focus

    Align align = Align::Left;
    bool border = false; // a label's single border
    bool opaque = false; // a label paints its background
    int borderWidth = 1; // lines and shapes, in pixels
};

struct WindowDesign {
    const char *caption;
    int left, top; // the client area's top-left corner on the screen
    int clientWidth, clientHeight;
    DesignColour back;
    FontDesign font;
};

extern const WindowDesign frmCadrelDesign;

// The start/stop toggle names what it will do next: its design caption ("&Abilita") until the
// metronome runs, this while it does.
extern const char *const runningToggleCaption;

// What the tempo box says when it is emptied, and the title of that message.
extern const char *const emptyTempoMessage;
extern const char *const messageTitle;

// What the pendulum (Line2) and the beat light (Shape1) show once the metronome has started:
// the pendulum from its pivot (x1, y1) to its free end (x2, y2), in twips of the window, and the
// light's fill. Before the first start they show their rows: upright, dark yellow.
struct PoseDesign {
    int x1, y1, x2, y2;
    DesignColour light;
};
// The pendulum is drawn above its light; both follow the metronome. Leaning left with the dark
// yellow light for an even count (0 included), right with the pale
// yellow light for an odd one: the swing is not symmetric about the pivot.
extern const PoseDesign evenCountPose;
extern const PoseDesign oddCountPose;

// The design row of a control; every control of the window has exactly one.
const ControlDesign &design(std::string_view name);

// All rows in creation order (later ones are stacked above earlier ones).
std::span<const ControlDesign> designRows();

} // namespace window
