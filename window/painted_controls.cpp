#include "window/painted_controls.h"

#include "platform/twips.h"
#include "window/painted_accessible.h"

#include <QPainter>

namespace window {

Label::Label(Surface &container, const QRect &box) : PaintedControl(container), m_box(box) {}

void Label::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    repaint(m_box);
    announceCaption(*this);
}

void Label::paint(QPainter &painter) const
{
    if (m_background.isValid())
        painter.fillRect(m_box, m_background);
    QRect inner = m_box;
    if (m_border) {
        // A sunken single edge: shadow above and to the left, light below and to the right.
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(m_box.topLeft(), m_box.topRight());
        painter.drawLine(m_box.topLeft(), m_box.bottomLeft());
        painter.setPen(QColor(255, 255, 255));
        painter.drawLine(m_box.bottomLeft(), m_box.bottomRight());
        painter.drawLine(m_box.topRight(), m_box.bottomRight());
        inner.adjust(1, 1, -1, -1);
    }
    // A caption wider than the box (a count of many digits) is written smaller so that it
    // stays whole and readable rather than being cut off.
    QFont font = m_font;
    const int room = inner.width() - 2;
    for (int width = QFontMetrics(font).horizontalAdvance(m_caption);
         width > room && font.pointSizeF() > 4.0;
         width = QFontMetrics(font).horizontalAdvance(m_caption))
        font.setPointSizeF(font.pointSizeF() * room / width * 0.98);
    painter.setFont(font);
    painter.setPen(m_text);
    const Qt::Alignment horizontal = m_centred ? Qt::AlignHCenter : Qt::AlignLeft;
    painter.drawText(inner, horizontal | Qt::AlignTop | Qt::TextWordWrap, m_caption);
}

Shape::Shape(Surface &container, const QRect &box) : PaintedControl(container), m_box(box) {}

void Shape::setFillColor(const QColor &colour)
{
    if (colour == m_fill)
        return;
    m_fill = colour;
    repaint(m_box);
}

void Shape::paint(QPainter &painter) const
{
    const int diameter = std::min(m_box.width(), m_box.height());
    QRect circle(0, 0, diameter, diameter);
    circle.moveCenter(m_box.center());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_border, 1));
    painter.setBrush(m_fill);
    painter.drawEllipse(QRectF(circle).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

Line::Line(Surface &container, int x1, int y1, int x2, int y2)
    : PaintedControl(container), m_x1(x1), m_y1(y1), m_x2(x2), m_y2(y2)
{}

QRect Line::bounds() const
{
    const QRectF span =
        QRectF(platform::pointFromTwips(m_x1, m_y1), platform::pointFromTwips(m_x2, m_y2))
            .normalized();
    const int margin = m_width + 2;
    return span.toAlignedRect().adjusted(-margin, -margin, margin, margin);
}

void Line::move(int &coordinate, int twips)
{
    if (coordinate == twips)
        return;
    const QRect before = bounds();
    coordinate = twips;
    repaint(before.united(bounds()));
}

void Line::paint(QPainter &painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_colour, m_width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(platform::pointFromTwips(m_x1, m_y1), platform::pointFromTwips(m_x2, m_y2));
    painter.restore();
}

} // namespace window
