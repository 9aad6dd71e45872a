#pragma once

#include "window/design.h"

#include <QFont>
#include <QObject>

class QPushButton;
class QRadioButton;
class QWidget;

namespace platform {
class PeriodicTimer;
class Slider;
class TextBox;
} // namespace platform

// Builds each kind of control from its design row, inside its container.
namespace window {

class Frame;
class Label;
class Line;
class PictureBox;
class Shape;
class Surface;

QFont designFont(const FontDesign &font);

Frame *makeFrame(const ControlDesign &row, Surface &container);
platform::TextBox *makeTextBox(const ControlDesign &row, Surface &container);
platform::Slider *makeSlider(const ControlDesign &row, Surface &container);
PictureBox *makePictureBox(const ControlDesign &row, Surface &container);
QPushButton *makeCommandButton(const ControlDesign &row, Surface &container);
QRadioButton *makeOptionButton(const ControlDesign &row, Surface &container);
platform::PeriodicTimer *makeTimer(const ControlDesign &row, QObject &owner);
Label *makeLabel(const ControlDesign &row, Surface &container);
Shape *makeShape(const ControlDesign &row, Surface &container);
Line *makeLine(const ControlDesign &row, Surface &container);

} // namespace window
