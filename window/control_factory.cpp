#include "window/control_factory.h"

#include "platform/buttons.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "platform/twips.h"
#include "window/painted_controls.h"
#include "window/picture_box.h"
#include "window/surface.h"

namespace window {

namespace {

QColor colour(DesignColour value, const QWidget &widget)
{
    return platform::toQColor(value, widget.palette());
}

QRect box(const ControlDesign &row)
{
    return platform::rectFromTwips(row.left, row.top, row.width, row.height);
}

// What every child window shares: geometry, font, tooltip and whether Tab stops on it.
void applyCommon(QWidget &widget, const ControlDesign &row)
{
    widget.setObjectName(QLatin1String(row.name));
    widget.setGeometry(box(row));
    widget.setFont(designFont(row.font));
    if (row.toolTip)
        widget.setToolTip(QString::fromUtf8(row.toolTip));
    // Buttons speak their caption themselves; other controls are named by their tooltip.
    if (row.accessibleName)
        widget.setAccessibleName(QString::fromUtf8(row.accessibleName));
    else if (row.toolTip)
        widget.setAccessibleName(QString::fromUtf8(row.toolTip));
    if (row.tabIndex < 0)
        widget.setFocusPolicy(Qt::NoFocus);
}

void setPaletteColour(QWidget &widget, QPalette::ColorRole role, DesignColour value)
{
    QPalette palette = widget.palette();
    palette.setColor(role, colour(value, widget));
    widget.setPalette(palette);
}

Frame *makeFrame(const ControlDesign &row, Surface &container)
{
    auto *frame = new Frame(&container);
    applyCommon(*frame, row);
    frame->setFocusPolicy(Qt::NoFocus);
    frame->setCaption(QString::fromUtf8(row.caption));
    frame->setBackground(colour(*row.back, *frame));
    frame->setCaptionColour(colour(*row.fore, *frame));
    return frame;
}

platform::TextBox *makeTextBox(const ControlDesign &row, Surface &container)
{
    auto *text = new platform::TextBox(&container);
    applyCommon(*text, row);
    if (row.back)
        setPaletteColour(*text, QPalette::Base, *row.back);
    text->setAlignment(row.align == Align::Centre ? Qt::AlignCenter : Qt::AlignLeft);
    text->setMaxLength(32767); // as long as a text box can hold
    text->setText(QString::fromUtf8(row.caption));
    return text;
}

platform::Slider *makeSlider(const ControlDesign &row, Surface &container)
{
    auto *slider = new platform::Slider(&container);
    applyCommon(*slider, row);
    slider->setRange(row.min, row.max);
    slider->setValue(row.value);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(10);
    // The slider keeps the desktop's own face colour rather than the frame's black.
    slider->setAutoFillBackground(true);
    slider->setFocusPolicy(Qt::StrongFocus);
    return slider;
}

PictureBox *makePictureBox(const ControlDesign &row, Surface &container)
{
    auto *picture = new PictureBox(&container);
    applyCommon(*picture, row);
    setPaletteColour(*picture, QPalette::Window, *row.back);
    setPaletteColour(*picture, QPalette::WindowText, *row.fore);
    picture->setFocusPolicy(Qt::StrongFocus);
    return picture;
}

QWidget *makeCommandButton(const ControlDesign &row, Surface &container)
{
    auto *button = new platform::CommandButton(QString::fromUtf8(row.caption), &container);
    applyCommon(*button, row);
    setPaletteColour(*button, QPalette::Button, *row.back);
    // A graphical button shows its face colour as it is, without the style's shading.
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1;"
                                         " border: 2px outset #e0e0e0; }"
                                         " QPushButton:focus { border: 2px dotted #404040; }"
                                         " QPushButton:pressed { border-style: inset; }")
                              .arg(colour(*row.back, *button).name()));
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QWidget *makeOptionButton(const ControlDesign &row, Surface &container)
{
    auto *option = new platform::OptionButton(QString::fromUtf8(row.caption), &container);
    applyCommon(*option, row);
    // Right to left puts the round button at the right of its caption.
    option->setLayoutDirection(Qt::RightToLeft);
    option->setBackgroundRole(QPalette::Window);
    option->setAutoFillBackground(true);
    setPaletteColour(*option, QPalette::Window, *row.back);
    setPaletteColour(*option, QPalette::WindowText, *row.fore);
    option->setChecked(row.selected);
    return option;
}

Label *makeLabel(const ControlDesign &row, Surface &container)
{
    auto *label = container.addPainted<Label>(box(row));
    label->setCaption(QString::fromUtf8(row.caption));
    label->setFont(designFont(row.font));
    label->setTextColour(colour(*row.fore, container));
    if (row.opaque)
        label->setBackground(colour(*row.back, container));
    label->setCentred(row.align == Align::Centre);
    label->setBorder(row.border);
    return label;
}

Shape *makeShape(const ControlDesign &row, Surface &container)
{
    auto *shape = container.addPainted<Shape>(box(row));
    shape->setFillColor(colour(*row.fill, container));
    shape->setBorderColour(colour(*row.fore, container));
    return shape;
}

Line *makeLine(const ControlDesign &row, Surface &container)
{
    auto *line = container.addPainted<Line>(row.x1, row.y1, row.x2, row.y2);
    line->setColour(colour(*row.fore, container));
    line->setWidth(row.borderWidth);
    return line;
}

} // namespace

QFont designFont(const FontDesign &font)
{
    QFont result(QString::fromUtf8(font.family));
    result.setPointSizeF(font.points);
    result.setBold(font.bold);
    return result;
}

BuiltControl buildControl(const ControlDesign &row, Surface &container)
{
    switch (row.kind) {
    case Kind::Frame:
        return {makeFrame(row, container), nullptr};
    case Kind::TextBox:
        return {makeTextBox(row, container), nullptr};
    case Kind::Slider:
        return {makeSlider(row, container), nullptr};
    case Kind::PictureBox:
        return {makePictureBox(row, container), nullptr};
    case Kind::CommandButton:
        return {makeCommandButton(row, container), nullptr};
    case Kind::OptionButton:
        return {makeOptionButton(row, container), nullptr};
    case Kind::Label:
        return {nullptr, makeLabel(row, container)};
    case Kind::Shape:
        return {nullptr, makeShape(row, container)};
    case Kind::Line:
        return {nullptr, makeLine(row, container)};
    }
    return {};
}

} // namespace window
