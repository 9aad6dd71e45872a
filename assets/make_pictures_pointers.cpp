#include "make_pictures_drawings.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pictures {
namespace {

const QColor edgeColour(0x3a, 0x28, 0x00);
const QColor glassColour(0x50, 0xc8, 0xff);

QLinearGradient hullPaint(double top, double bottom)
{
    QLinearGradient paint(0, top, 0, bottom);
    paint.setColorAt(0, QColor(0xff, 0xec, 0x70));
    paint.setColorAt(1, QColor(0xe0, 0x9c, 0x00));
    return paint;
}

// The 16 by 16 submarine keeps only what reads at that size, its edges on
// pixel centres: hull, tower, periscope, two portholes and the propeller.
void drawSmallSubmarine(QPainter &painter)
{
    painter.setPen(QPen(edgeColour, 1.0, Qt::SolidLine, Qt::SquareCap));
    painter.drawPolyline(QPolygonF({{6.5, 5.0}, {6.5, 2.5}, {3.5, 2.5}}));
    painter.fillRect(QRectF(2, 2, 1, 1), glassColour);

    painter.setPen(QPen(edgeColour, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(hullPaint(4, 13));
    painter.drawRoundedRect(QRectF(4.5, 4.5, 4.0, 4.0), 1.0, 1.0);
    QPainterPath hull;
    hull.moveTo(4.0, 7.5);
    hull.lineTo(11.0, 7.5);
    hull.cubicTo(13.0, 7.5, 14.0, 9.0, 14.5, 10.0);
    hull.cubicTo(14.0, 11.0, 13.0, 12.5, 11.0, 12.5);
    hull.lineTo(4.0, 12.5);
    hull.cubicTo(2.5, 12.5, 1.5, 11.5, 1.5, 10.0);
    hull.cubicTo(1.5, 8.5, 2.5, 7.5, 4.0, 7.5);
    painter.drawPath(hull);
    for (int x : {5, 8})
        painter.fillRect(QRectF(x, 9, 2, 2), glassColour);
    painter.fillRect(QRectF(15, 8, 1, 5), edgeColour);
}

// The 32 by 32 submarine on a 32-unit grid.
void drawSubmarine(QPainter &painter)
{
    // Periscope: up from the tower, then forward to the lens.
    painter.setPen(QPen(edgeColour, 2.0, Qt::SolidLine, Qt::SquareCap));
    painter.drawPolyline(QPolygonF({{13.0, 12.0}, {13.0, 4.0}, {6.0, 4.0}}));
    painter.fillRect(QRectF(4.0, 3.0, 2.0, 2.0), glassColour);

    painter.setPen(QPen(edgeColour, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(hullPaint(11, 26));
    painter.drawRoundedRect(QRectF(10.0, 9.5, 8.0, 8.0), 2.0, 2.0); // tower
    QPainterPath fin;                                               // the rudder above the stern
    fin.moveTo(23.0, 16.0);
    fin.lineTo(27.5, 12.5);
    fin.lineTo(28.0, 18.0);
    fin.closeSubpath();
    painter.drawPath(fin);

    QPainterPath hull;
    hull.moveTo(8.0, 15.0);
    hull.lineTo(22.0, 15.0);
    hull.cubicTo(26.0, 15.0, 28.5, 18.0, 29.5, 20.0);
    hull.cubicTo(28.5, 22.0, 26.0, 25.0, 22.0, 25.0);
    hull.lineTo(8.0, 25.0);
    hull.cubicTo(4.5, 25.0, 2.5, 22.5, 2.5, 20.0);
    hull.cubicTo(2.5, 17.5, 4.5, 15.0, 8.0, 15.0);
    painter.drawPath(hull);

    painter.setBrush(glassColour); // portholes
    painter.setPen(QPen(edgeColour, 0.9));
    for (double x : {8.0, 14.0, 20.0})
        painter.drawEllipse(QPointF(x, 20.0), 1.6, 1.6);

    painter.setPen(QPen(edgeColour, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(30.5, 17.0), QPointF(30.5, 23.0)); // propeller
}

} // namespace

// A yellow submarine heading left, dark-edged so that it shows on the toggle
// button's pale yellow face. Its periscope looks ahead; the lens at the
// periscope's tip is the pointer's hot spot.
QImage submarine(int size)
{
    QImage image = canvas(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (size == 16) {
        drawSmallSubmarine(painter);
    } else {
        painter.scale(size / 32.0, size / 32.0);
        drawSubmarine(painter);
    }
    return image;
}

// A pointing hand, white with a black edge, index finger up: the tip of the
// finger is the hot spot. Strokes run along pixel centres.
QImage hand()
{
    QImage image = canvas(32, 32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(0.5, 0.5);
    QPainterPath outline;
    outline.moveTo(10, 14);
    outline.lineTo(10, 3);
    outline.arcTo(QRectF(10, 1, 4, 4), 180, -180); // fingertip at (12, 1)
    outline.lineTo(14, 11);
    outline.arcTo(QRectF(14, 9, 3, 3), 180, -180); // folded fingers' knuckles
    outline.arcTo(QRectF(17, 10, 3, 3), 180, -180);
    outline.arcTo(QRectF(20, 11, 3, 3), 180, -180);
    outline.lineTo(23, 19);
    outline.cubicTo(23, 22, 22, 23, 21, 24);
    outline.lineTo(21, 28);
    outline.lineTo(10, 28);
    outline.lineTo(10, 24);
    outline.cubicTo(8, 23, 4, 19, 3.5, 17); // thumb
    outline.cubicTo(3, 15, 5, 14, 7, 15.5);
    outline.lineTo(10, 18);
    outline.closeSubpath();
    painter.setPen(QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(outline);
    painter.drawLine(QPointF(17, 11.5), QPointF(17, 14)); // creases between fingers
    painter.drawLine(QPointF(20, 12.5), QPointF(20, 15));
    painter.drawLine(QPointF(10, 24), QPointF(21, 24)); // the cuff
    return image;
}

} // namespace pictures
