#pragma once

#include "window/surface.h"

#include <QFont>
#include <QObject>
#include <QRect>
#include <QString>

namespace window {

// A label: text in a box, with an optional background and single border. Screen readers read
// it as a label (see painted_accessible.h), and hear when its caption changes.
class Label : public PaintedControl
{
public:
    Label(Surface &container, const QRect &box);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    // Stands for the label where assistive technology needs an object.
    QObject &accessibleObject() const { return m_accessible; }
    const Surface &surface() const { return container(); }

    void setFont(const QFont &font) { m_font = font; }
    void setTextColour(const QColor &colour) { m_text = colour; }
    void setBackground(const QColor &colour) { m_background = colour; } // invalid: transparent
    void setCentred(bool centred) { m_centred = centred; }
    void setBorder(bool border) { m_border = border; }

    QRect box() const { return m_box; }
    void paint(QPainter &painter) const override;

private:
    QRect m_box;
    QString m_caption;
    mutable QObject m_accessible;
    QFont m_font;
    QColor m_text = Qt::black;
    QColor m_background;
    bool m_centred = false;
    bool m_border = false;
};

// A circle of the box's smaller side, centred in its box, filled with one colour.
class Shape : public PaintedControl
{
public:
    Shape(Surface &container, const QRect &box);

    QColor FillColor() const { return m_fill; }
    void setFillColor(const QColor &colour);
    void setBorderColour(const QColor &colour) { m_border = colour; }

    void paint(QPainter &painter) const override;

private:
    QRect m_box;
    QColor m_fill;
    QColor m_border;
};

// A straight line between two points given in twips, with a width in pixels.
class Line : public PaintedControl
{
public:
    Line(Surface &container, int x1, int y1, int x2, int y2);

    int X1() const { return m_x1; }
    int Y1() const { return m_y1; }
    int X2() const { return m_x2; }
    int Y2() const { return m_y2; }
    void setX1(int twips) { move(m_x1, twips); }
    void setY1(int twips) { move(m_y1, twips); }
    void setX2(int twips) { move(m_x2, twips); }
    void setY2(int twips) { move(m_y2, twips); }

    void setColour(const QColor &colour) { m_colour = colour; }
    void setWidth(int pixels) { m_width = pixels; }

    void paint(QPainter &painter) const override;

private:
    QRect bounds() const;
    void move(int &coordinate, int twips);

    int m_x1, m_y1, m_x2, m_y2;
    QColor m_colour = Qt::black;
    int m_width = 1;
};

} // namespace window
