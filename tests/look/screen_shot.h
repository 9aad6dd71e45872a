#pragma once

#include "platform/twips.h"

#include <cmath>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPoint>
#include <QScreen>
#include <QString>
#include <QWidget>

// What the X server shows of the window: read back from the screen itself, not from the
// widget, so that stacking, clipping and every layer the server composes are included.
namespace look {

// Where the client area sits on the screen by design: (6180, 345) twips, 5280 by 7995.
inline QRect designedScreenArea()
{
    return platform::rectFromTwips(6180, 345, 5280, 7995);
}

// A point of the client area given in twips, as the pixel that contains it.
inline QPoint pixelAt(double xTwips, double yTwips)
{
    const QPointF point = {xTwips / platform::twipsPerPixel, yTwips / platform::twipsPerPixel};
    return {int(std::floor(point.x())), int(std::floor(point.y()))};
}

// Paints the window now and reads back the part of the screen where the design puts it. The
// picture is kept as <name>.png among the artifacts so that a person can look at it.
inline QImage captureScreen(QWidget &window, const QString &name)
{
    QCoreApplication::processEvents();
    // repaint() paints and flushes to the server at once; the read-back below travels on the
    // same connection, so the server has drawn everything before it answers.
    window.repaint();
    const QRect area = designedScreenArea();
    const QImage image = window.screen()
                             ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    QDir().mkpath(QStringLiteral(CADREL_SCREENSHOTS));
    image.save(QStringLiteral(CADREL_SCREENSHOTS "/%1.png").arg(name));
    return image;
}

// A colour within `tolerance` of another on every channel: antialiasing and gradients aside,
// what is painted reaches the screen exactly.
inline bool near(QColor actual, QColor expected, int tolerance = 12)
{
    return qAbs(actual.red() - expected.red()) <= tolerance &&
           qAbs(actual.green() - expected.green()) <= tolerance &&
           qAbs(actual.blue() - expected.blue()) <= tolerance;
}

inline QString describe(QPoint at, QColor colour)
{
    return QStringLiteral("(%1, %2) is rgb(%3, %4, %5)")
        .arg(at.x())
        .arg(at.y())
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue());
}

// Gold lettering: bright, warm and clearly more red and green than blue.
inline bool isGold(QColor colour)
{
    return colour.red() >= 140 && colour.green() >= 90 && colour.blue() + 60 <= colour.red();
}

} // namespace look
