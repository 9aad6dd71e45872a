#pragma once

#include "window/design.h"

#include <QFont>

class QWidget;

// Builds each kind of control from its design row, inside its container.
namespace window {

QFont designFont(const FontDesign &font);

// The font to write `text` in within `room` pixels: the designed one, or a smaller one where
// the text would not fit (a count of many digits), so that it stays whole and readable.
QFont fontToFit(const QFont &designed, const QString &text, int room);

// The control of a row, a child window of `container`. The beat light's row builds nothing:
// the pendulum draws the light.
QWidget *buildControl(const ControlDesign &row, QWidget &container);

} // namespace window
