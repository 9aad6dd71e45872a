// Writes Windows icon (.ico) and cursor (.cur) files with palettised images.
//
// Qt's own ICO writer stores every image as 32-bit colour; the window and
// pointer icons here are 256- and 16-colour images with a 1-bit transparency
// mask, so this small writer builds the file itself.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>

namespace pictures {

// One image of an icon file: the drawing and how many bits each pixel gets
// in the file (4 for 16 colours, 8 for 256 colours).
struct IcoImage {
    QImage image;
    int bitsPerPixel = 8;
};

// An icon file holding the given images in order.
QByteArray icoFile(const QList<IcoImage> &images);

// A cursor file: like an icon, plus the pixel that points (the hot spot),
// given for each image in its own pixels.
QByteArray curFile(const QList<IcoImage> &images, const QList<QPoint> &hotSpots);

} // namespace pictures
