#include "make_pictures_drawings.h"

#include <cmath>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace pictures {
namespace {

// The word TEMPO as strokes on the icon's 32-unit grid, one unit a pixel at
// 32 by 32: letters 7 units high, strokes along pixel centres.
QPainterPath tempoWord()
{
    QPainterPath p;
    p.moveTo(3.5, 2.5); // T
    p.lineTo(7.5, 2.5);
    p.moveTo(5.5, 2.5);
    p.lineTo(5.5, 8.5);
    p.moveTo(12.5, 2.5); // E
    p.lineTo(9.5, 2.5);
    p.lineTo(9.5, 8.5);
    p.lineTo(12.5, 8.5);
    p.moveTo(9.5, 5.5);
    p.lineTo(11.5, 5.5);
    p.moveTo(14.5, 8.5); // M
    p.lineTo(14.5, 2.5);
    p.lineTo(16.5, 5.5);
    p.lineTo(18.5, 2.5);
    p.lineTo(18.5, 8.5);
    p.moveTo(20.5, 8.5); // P
    p.lineTo(20.5, 2.5);
    p.lineTo(22.0, 2.5);
    p.cubicTo(23.6, 2.5, 23.6, 5.5, 22.0, 5.5);
    p.lineTo(20.5, 5.5);
    p.addRoundedRect(QRectF(25.5, 2.5, 3.0, 6.0), 1.5, 1.5); // O
    return p;
}

// The letters of TEMPO in pixels, three columns by five rows, for the small
// images, where strokes must sit on whole pixels to be read at all.
constexpr const char *tempoGlyphs[5][5] = {
    {"###", ".#.", ".#.", ".#.", ".#."}, // T
    {"###", "#..", "##.", "#..", "###"}, // E
    {"#.#", "###", "###", "#.#", "#.#"}, // M
    {"##.", "#.#", "##.", "#..", "#.."}, // P
    {".#.", "#.#", "#.#", "#.#", ".#."}, // O
};

const QColor wordColour(0xff, 0xe0, 0x50);
const QColor paleWordColour(0xff, 0xf8, 0xd8);
const QColor rodColour(0x3c, 0xf0, 0x40);
const QColor ghostColour(0x1c, 0x90, 0x2a);

// TEMPO from its top-left pixel; with no gap between the letters (16 by 16,
// where five letters fill the width) neighbours differ in colour instead.
void drawPixelWord(QImage &image, int left, int top, int gap)
{
    for (int letter = 0; letter < 5; ++letter)
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column)
                if (tempoGlyphs[letter][row][column] == '#')
                    image.setPixelColor(left + letter * (3 + gap) + column, top + row,
                                        gap == 0 && letter % 2 ? paleWordColour : wordColour);
}

void drawTile(QPainter &painter, double size, bool flat)
{
    QLinearGradient ground(0, 0, 0, size);
    ground.setColorAt(0, QColor(0x30, 0x30, 0x30));
    ground.setColorAt(1, QColor(0x08, 0x08, 0x08));
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 1.0));
    painter.setBrush(flat ? QBrush(QColor(0x1c, 0x1c, 0x1c)) : QBrush(ground));
    painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1.0, size - 1.0), size / 7.0, size / 7.0);
}

// Rods in three positions: the upright one bright, the leaning ones dim, as
// the pendulum leaves a trace while it swings.
void drawPendulum(QPainter &painter, QPointF pivot, double length, double width)
{
    const double lean = 33.0 * M_PI / 180.0;
    painter.setPen(QPen(ghostColour, width * 0.8, Qt::SolidLine, Qt::RoundCap));
    for (double side : {-1.0, 1.0})
        painter.drawLine(pivot,
                         pivot + QPointF(side * length * std::sin(lean), -length * std::cos(lean)));
    painter.setPen(QPen(rodColour, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(pivot, pivot - QPointF(0, length));
}

void drawHalfDisc(QPainter &painter, QPointF centre, double radius, double outline)
{
    QRadialGradient light(centre.x(), centre.y() - radius * 0.6, radius * 1.2);
    light.setColorAt(0, QColor(0xff, 0xf4, 0x80));
    light.setColorAt(1, QColor(0xf0, 0xb0, 0x00));
    QPainterPath disc;
    disc.moveTo(centre - QPointF(radius, 0));
    disc.arcTo(QRectF(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius)), 180.0,
               -180.0);
    disc.closeSubpath();
    painter.setPen(outline > 0 ? QPen(QColor(0x80, 0x58, 0x00), outline) : QPen(Qt::NoPen));
    painter.setBrush(light);
    painter.drawPath(disc);
}

} // namespace

// A metronome pendulum in three positions fanning out from a yellow
// half-disc, the word TEMPO above, on a dark rounded tile. Drawn on a 32-unit
// grid so that the 32 by 32 image lands on whole pixels; the images smaller
// than that spell the word in pixels, and the 16 by 16 one has its own
// pixel-sized drawing.
QImage programIcon(int size, bool flat)
{
    QImage image = canvas(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (size == 16) {
        drawTile(painter, 16, true);
        drawPixelWord(image, 0, 1, 0);
        drawPendulum(painter, {8.0, 14.0}, 7.0, 2.0);
        drawHalfDisc(painter, {8.0, 15.0}, 4.0, 0.0);
        return image;
    }
    painter.scale(size / 32.0, size / 32.0);
    drawTile(painter, 32, flat);
    drawPendulum(painter, {16.0, 27.0}, 16.5, 2.0);
    drawHalfDisc(painter, {16.0, 29.0}, 8.0, 0.8);
    if (size < 32) {
        drawPixelWord(image, (size - 19) / 2, 2, 1);
        return image;
    }
    painter.setPen(
        QPen(wordColour, size > 32 ? 1.3 : 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tempoWord());
    return image;
}

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace pictures
