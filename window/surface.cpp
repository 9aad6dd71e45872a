#include "window/surface.h"

#include <QPainter>
#include <QPaintEvent>

namespace window {

Surface::Surface(QWidget *parent) : QWidget(parent) {}

void Surface::setBackground(const QColor &colour)
{
    m_background = colour;
    update();
}

void Surface::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), m_background);
    paintDecoration(painter);
}

Frame::Frame(QWidget *parent) : Surface(parent) {}

void Frame::setCaption(const QString &caption)
{
    m_caption = caption;
    // What it shows is its name (the tempo frame's "Bpm  140"); its tooltip describes it.
    setAccessibleName(QString(caption).remove(QLatin1Char('&')).trimmed());
    update();
}

void Frame::setCaptionColour(const QColor &colour)
{
    m_captionColour = colour;
    update();
}

void Frame::paintDecoration(QPainter &painter)
{
    const QFontMetrics metrics(font());
    const int edgeY = metrics.height() / 2;
    // The etched edge: a shadow line with a light line one pixel inside it.
    const QRect outer(0, edgeY, width() - 2, height() - edgeY - 2);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(outer);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(outer.translated(1, 1));

    const QString text = QString(m_caption).remove(QLatin1Char('&'));
    if (text.isEmpty())
        return;
    const QRect textBox(8, 0, metrics.horizontalAdvance(text) + 2, metrics.height());
    painter.fillRect(textBox, background());
    painter.setPen(m_captionColour);
    painter.setFont(font());
    painter.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, text);
}

} // namespace window
