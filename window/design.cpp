#include "window/design.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace window {

namespace {

constexpr DesignColour black = 0x00000000;
constexpr DesignColour yellow = 0x0000FFFF;
constexpr DesignColour darkYellow = 0x0000C0C0;
constexpr DesignColour paleYellow = 0x00C0FFFF;
constexpr DesignColour olive = 0x00008080;
constexpr DesignColour darkGrey = 0x00404040;
constexpr DesignColour grey = 0x00808080;
constexpr DesignColour green = 0x0000FF00;
constexpr DesignColour systemToolTipBack = 0x80000018;
constexpr DesignColour systemWindowBack = 0x80000005;
constexpr DesignColour systemWindowText = 0x80000008;

// clang-format off
const std::array controls = {
    // The tempo frame, with the tempo box, the tempo slider and its Max and Min marks.
    ControlDesign{.name = "Frame3", .kind = Kind::Frame,
        .left = 120, .top = 6600, .width = 5055, .height = 1335,
        .caption = "Bpm", .back = black, .fore = yellow,
        .toolTip = "Battiti per minuto", .tabIndex = 8},
    ControlDesign{.name = "Text2", .kind = Kind::TextBox, .container = "Frame3",
        .left = 1920, .top = 120, .width = 975, .height = 330,
        .font = {"MS Sans Serif", 9.75, true}, .back = systemToolTipBack,
        .toolTip = "Inserire i Bpm - Max 240", .tabIndex = 12, .align = Align::Centre},
    ControlDesign{.name = "Slider1", .kind = Kind::Slider, .container = "Frame3",
        .left = 120, .top = 480, .width = 4815, .height = 630,
        .accessibleName = "Battiti per minuto", .tabIndex = 9},
    ControlDesign{.name = "Label3", .kind = Kind::Label, .container = "Frame3",
        .left = 4560, .top = 1080, .width = 375, .height = 255,
        .caption = "Max", .fore = darkYellow, .tabIndex = 10},
    ControlDesign{.name = "Label4", .kind = Kind::Label, .container = "Frame3",
        .left = 240, .top = 1080, .width = 375, .height = 255,
        .caption = "Min", .fore = darkYellow, .tabIndex = 11},
    // The banner.
    ControlDesign{.name = "Picture1", .kind = Kind::PictureBox,
        .left = -225, .top = 600, .width = 4455, .height = 1335,
        .back = systemWindowBack, .fore = systemWindowText, .accessibleName = "Ritmolino",
        .tabIndex = 7},
    // The start/stop toggle.
    ControlDesign{.name = "cmdAbilitaDisabilita", .kind = Kind::CommandButton,
        .left = 1800, .top = 0, .width = 3495, .height = 495,
        .caption = "&Abilita", .font = {"MS Sans Serif", 12}, .back = paleYellow, .tabIndex = 0},
    // The sound frame, with the two options: sound on, sound off.
    ControlDesign{.name = "Frame1", .kind = Kind::Frame,
        .left = 120, .top = 5880, .width = 5055, .height = 615,
        .caption = "Suono: ", .back = black, .fore = yellow, .tabIndex = 3},
    ControlDesign{.name = "Op1", .kind = Kind::OptionButton, .container = "Frame1",
        .left = 240, .top = 240, .width = 1095, .height = 255,
        .caption = "Suono", .font = {"Arial", 8.25}, .back = black, .fore = olive,
        .tabIndex = 6},
    ControlDesign{.name = "Op2", .kind = Kind::OptionButton, .container = "Frame1",
        .left = 2160, .top = 240, .width = 1095, .height = 255,
        .caption = "No Suono", .font = {"Arial", 8.25}, .back = black, .fore = olive,
        .tabIndex = 5},
    // The count's title.
    ControlDesign{.name = "Label2", .kind = Kind::Label,
        .left = 0, .top = 120, .width = 975, .height = 255,
        .caption = "Tot. Battiti:", .fore = darkGrey, .tabIndex = 13, .align = Align::Centre},
    // The beat light (its colours by the count: evenCountPose, oddCountPose below). The
    // pendulum widget draws it, beneath the pendulum.
    ControlDesign{.name = "Shape1", .kind = Kind::Shape,
        .left = 1680, .top = 5640, .width = 735, .height = 615,
        .back = darkYellow, .fore = darkYellow, .fill = darkYellow},
    // The pendulum, green and five pixels wide, upright (its poses by the count below).
    ControlDesign{.name = "Line2", .kind = Kind::Line,
        .x1 = 2040, .y1 = 6000, .x2 = 2040, .y2 = 2280, .fore = green,
        .accessibleName = "Pendolo", .borderWidth = 5},
    // The line under the top row.
    ControlDesign{.name = "Line1", .kind = Kind::Line,
        .x1 = 0, .y1 = 480, .x2 = 5280, .y2 = 480, .fore = grey, .borderWidth = 3},
    // The beat counter (it shows the metronome's count).
    ControlDesign{.name = "Label1", .kind = Kind::Label,
        .left = 960, .top = 0, .width = 855, .height = 495,
        .font = {"MS Sans Serif", 18}, .back = black, .fore = darkGrey,
        .tabIndex = 1, .align = Align::Centre, .border = true, .opaque = true},
};
// clang-format on

} // namespace

const char *const runningToggleCaption = "&Disabilita";
const char *const emptyTempoMessage = "Inserire un numero!";
const char *const messageTitle = "Cadrel";

const PoseDesign evenCountPose{2040, 6000, 240, 2850, darkYellow};
const PoseDesign oddCountPose{2040, 6000, 4080, 2850, paleYellow};

const WindowDesign frmCadrelDesign = {
    .caption = "Ritmolino",
    .left = 6180,
    .top = 345,
    .clientWidth = 5280,
    .clientHeight = 7995,
    .back = black,
    .font = {},
};

const ControlDesign &design(std::string_view name)
{
    const auto row = std::find_if(controls.begin(), controls.end(),
                                  [name](const ControlDesign &c) { return name == c.name; });
    if (row == controls.end())
        throw std::logic_error("no design row for control " + std::string(name));
    return *row;
}

std::span<const ControlDesign> designRows()
{
    return controls;
}

} // namespace window
