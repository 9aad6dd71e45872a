#include "make_pictures_drawings.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pictures {
namespace {

// Where the picture box shows the banner: the box starts 15 pixels left of
// the window and is 297 by 89 pixels, so the picture's left 15 columns and
// its bottom 11 rows are never seen. The lettering is centred in what shows.
const QRectF bannerShown(15, 0, 282, 89);

// A warm gold, light at the top of the letters, darker across their middle
// and bright again below, as polished metal catches the light.
QLinearGradient gold(const QRectF &box)
{
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0.0, QColor(0xff, 0xf6, 0xc8));
    g.setColorAt(0.30, QColor(0xf8, 0xd0, 0x50));
    g.setColorAt(0.55, QColor(0xc0, 0x84, 0x10));
    g.setColorAt(0.75, QColor(0xf0, 0xc4, 0x40));
    g.setColorAt(1.0, QColor(0xff, 0xe8, 0x90));
    return g;
}

} // namespace

QImage banner()
{
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QFont font(QStringLiteral("Liberation Serif"));
    font.setBold(true);
    font.setItalic(true);
    font.setPixelSize(100);
    QPainterPath word;
    word.addText(0, 0, font, QStringLiteral("Ritmolino"));
    const double scale = 232.0 / word.boundingRect().width();
    word = QTransform::fromScale(scale, scale).map(word);
    const QRectF box = word.boundingRect();
    word.translate(bannerShown.center().x() - box.center().x(), 41.0 - box.center().y());
    const QRectF letters = word.boundingRect();

    // A faint glow, then a dark edge, then the gold itself.
    for (double width : {11.0, 7.0, 4.0})
        painter.strokePath(word, QPen(QColor(0xff, 0xb0, 0x00, 22), width, Qt::SolidLine,
                                      Qt::RoundCap, Qt::RoundJoin));
    painter.strokePath(
        word, QPen(QColor(0x3c, 0x24, 0x00), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(word, gold(letters));

    // A thin gold rule under the word with a diamond at its middle.
    const double y = letters.bottom() + 9.0;
    const double middle = bannerShown.center().x();
    QLinearGradient rule(bannerShown.left() + 20, 0, bannerShown.right() - 20, 0);
    rule.setColorAt(0.0, QColor(0xc0, 0x84, 0x10, 0));
    rule.setColorAt(0.5, QColor(0xf8, 0xd0, 0x50));
    rule.setColorAt(1.0, QColor(0xc0, 0x84, 0x10, 0));
    painter.setPen(QPen(QBrush(rule), 1.2));
    painter.drawLine(QPointF(bannerShown.left() + 20, y), QPointF(middle - 7, y));
    painter.drawLine(QPointF(middle + 7, y), QPointF(bannerShown.right() - 20, y));
    QPainterPath diamond;
    diamond.moveTo(middle, y - 4);
    diamond.lineTo(middle + 4.5, y);
    diamond.lineTo(middle, y + 4);
    diamond.lineTo(middle - 4.5, y);
    diamond.closeSubpath();
    painter.fillPath(diamond, gold(diamond.boundingRect()));
    return image;
}

} // namespace pictures
