#pragma once

#include "window/design.h"

#include <QFont>

class QWidget;

// Builds each kind of control from its design row, inside its container.
namespace window {

class PaintedControl;
class Surface;

QFont designFont(const FontDesign &font);

// A control built from its row: a child window of its container, or a control painted on it.
struct BuiltControl {
    QWidget *widget = nullptr;
    PaintedControl *painted = nullptr;
};
BuiltControl buildControl(const ControlDesign &row, Surface &container);

} // namespace window
