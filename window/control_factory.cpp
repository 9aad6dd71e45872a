#include "window/control_factory.h"

#include "platform/buttons.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "platform/twips.h"
#include "window/pendulum.h"
#include "window/picture_box.h"
#include "window/surface.h"

#include <QLabel>

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

Frame *makeFrame(const ControlDesign &row, QWidget &container)
{
    auto *frame = new Frame(&container);
    applyCommon(*frame, row);
    frame->setFocusPolicy(Qt::NoFocus);
    frame->setCaption(QString::fromUtf8(row.caption));
    frame->setBackground(colour(*row.back, *frame));
    frame->setCaptionColour(colour(*row.fore, *frame));
    return frame;
}

platform::TextBox *makeTextBox(const ControlDesign &row, QWidget &container)
{
    auto *text = new platform::TextBox(&container);
    applyCommon(*text, row);
    if (row.back)
        setPaletteColour(*text, QPalette::Base, *row.back);
    text->setAlignment(row.align == Align::Centre ? Qt::AlignCenter : Qt::AlignLeft);
    text->setMaxLength(32767); // as long as a text box can hold
    return text;
}

platform::Slider *makeSlider(const ControlDesign &row, QWidget &container)
{
    auto *slider = new platform::Slider(&container);
    applyCommon(*slider, row);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(10);
    // The slider keeps the desktop's own face colour rather than the frame's black.
    slider->setAutoFillBackground(true);
    slider->setFocusPolicy(Qt::StrongFocus);
    return slider;
}

PictureBox *makePictureBox(const ControlDesign &row, QWidget &container)
{
    auto *picture = new PictureBox(&container);
    applyCommon(*picture, row);
    setPaletteColour(*picture, QPalette::Window, *row.back);
    setPaletteColour(*picture, QPalette::WindowText, *row.fore);
    picture->setFocusPolicy(Qt::StrongFocus);
    return picture;
}

QWidget *makeCommandButton(const ControlDesign &row, QWidget &container)
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

QWidget *makeOptionButton(const ControlDesign &row, QWidget &container)
{
    auto *option = new platform::OptionButton(QString::fromUtf8(row.caption), &container);
    applyCommon(*option, row);
    // Right to left puts the round button at the right of its caption.
    option->setLayoutDirection(Qt::RightToLeft);
    option->setBackgroundRole(QPalette::Window);
    option->setAutoFillBackground(true);
    setPaletteColour(*option, QPalette::Window, *row.back);
    setPaletteColour(*option, QPalette::WindowText, *row.fore);
    return option;
}

// A label as designed: its font and colours, transparent unless the design makes it opaque,
// its caption wrapped within its box from the top; a single edge is sunken.
QLabel *makeLabel(const ControlDesign &row, QWidget &container)
{
    auto *label = new QLabel(QString::fromUtf8(row.caption ? row.caption : ""), &container);
    applyCommon(*label, row);
    setPaletteColour(*label, QPalette::WindowText, *row.fore);
    if (row.opaque) {
        setPaletteColour(*label, QPalette::Window, *row.back);
        label->setAutoFillBackground(true);
    }
    label->setAlignment((row.align == Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft) |
                        Qt::AlignTop);
    label->setWordWrap(true);
    label->setIndent(0);
    if (row.border) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        QPalette edge = label->palette();
        edge.setColor(QPalette::Dark, QColor(128, 128, 128));
        edge.setColor(QPalette::Light, QColor(255, 255, 255));
        label->setPalette(edge);
    }
    return label;
}

} // namespace

QFont designFont(const FontDesign &font)
{
    QFont result(QString::fromUtf8(font.family));
    result.setPointSizeF(font.points);
    result.setBold(font.bold);
    return result;
}

QFont fontToFit(const QFont &designed, const QString &text, int room)
{
    QFont font = designed;
    for (int width = QFontMetrics(font).horizontalAdvance(text);
         width > room && font.pointSizeF() > 4.0;
         width = QFontMetrics(font).horizontalAdvance(text))
        font.setPointSizeF(font.pointSizeF() * room / width * 0.98);
    return font;
}

QWidget *buildControl(const ControlDesign &row, QWidget &container)
{
    switch (row.kind) {
    case Kind::Frame:
        return makeFrame(row, container);
    case Kind::TextBox:
        return makeTextBox(row, container);
    case Kind::Slider:
        return makeSlider(row, container);
    case Kind::PictureBox:
        return makePictureBox(row, container);
    case Kind::CommandButton:
        return makeCommandButton(row, container);
    case Kind::OptionButton:
        return makeOptionButton(row, container);
    case Kind::Label:
        return makeLabel(row, container);
    case Kind::Line:
        return new DesignLine(row, &container);
    case Kind::Shape:
        return nullptr; // the one shape, the beat light, is drawn by the pendulum
    }
    return nullptr;
}

} // namespace window
