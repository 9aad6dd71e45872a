#include "make_pictures_ico.h"

#include <algorithm>
#include <climits>
#include <QDataStream>
#include <QIODevice>
#include <vector>

namespace pictures {
namespace {

// Pixels at least this opaque are shown; the others become transparent,
// because the file's mask has one bit a pixel.
constexpr int opaqueFrom = 128;

int channel(QRgb colour, int which)
{
    return which == 0 ? qRed(colour) : which == 1 ? qGreen(colour) : qBlue(colour);
}

// The channel along which the colours spread most, and that spread.
std::pair<int, int> widestChannel(const QList<QRgb> &colours)
{
    std::pair<int, int> widest{0, 0};
    for (int which = 0; which < 3; ++which) {
        const auto [low, high] =
            std::minmax_element(colours.begin(), colours.end(), [which](QRgb a, QRgb b) {
                return channel(a, which) < channel(b, which);
            });
        const int spread = channel(*high, which) - channel(*low, which);
        if (spread > widest.second)
            widest = {which, spread};
    }
    return widest;
}

QRgb average(const QList<QRgb> &colours)
{
    long long red = 0, green = 0, blue = 0;
    for (QRgb c : colours) {
        red += qRed(c);
        green += qGreen(c);
        blue += qBlue(c);
    }
    const auto n = static_cast<long long>(colours.size());
    return qRgb(int((red + n / 2) / n), int((green + n / 2) / n), int((blue + n / 2) / n));
}

// Median cut: split the box of pixel colours with the widest spread at its
// median until there are `count` boxes; each box gives its average colour.
// Every pixel counts, so large areas keep their exact colour.
QList<QRgb> medianCut(const QList<QRgb> &pixels, int count)
{
    std::vector<QList<QRgb>> boxes{pixels};
    while (static_cast<int>(boxes.size()) < count) {
        int best = -1;
        std::pair<int, int> bestSpread{0, 0};
        for (int i = 0; i < static_cast<int>(boxes.size()); ++i) {
            const auto spread = widestChannel(boxes[i]);
            if (boxes[i].size() > 1 && spread.second > bestSpread.second) {
                best = i;
                bestSpread = spread;
            }
        }
        if (best < 0)
            break; // every box holds one colour only
        QList<QRgb> &box = boxes[best];
        const int which = bestSpread.first;
        std::sort(box.begin(), box.end(),
                  [which](QRgb a, QRgb b) { return channel(a, which) < channel(b, which); });
        const auto half = box.size() / 2;
        QList<QRgb> upper(box.begin() + half, box.end());
        box.resize(half);
        boxes.push_back(std::move(upper));
    }
    QList<QRgb> palette;
    for (const auto &box : boxes)
        palette.append(average(box));
    return palette;
}

int nearest(const QList<QRgb> &palette, QRgb colour)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < palette.size(); ++i) {
        const int dr = qRed(palette[i]) - qRed(colour);
        const int dg = qGreen(palette[i]) - qGreen(colour);
        const int db = qBlue(palette[i]) - qBlue(colour);
        const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

// An image as the file stores it: a palette whose entry 0 is black, and a
// palette index for each pixel, or -1 where the pixel is transparent.
struct Indexed {
    QList<QRgb> palette;
    QList<int> pixels; // row by row, top row first
};

// The image reduced to at most `colours` colours by median cut; pixels less
// than half opaque become transparent.
Indexed palettised(const QImage &image, int colours)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QList<QRgb> shown;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) >= opaqueFrom)
                shown.append(argb.pixel(x, y) | 0xff000000u);

    QList<QRgb> unique = shown;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    Indexed out;
    out.palette = {qRgb(0, 0, 0)};
    out.palette.append(unique.size() < colours ? unique : medianCut(shown, colours - 1));
    out.palette.resize(colours, qRgb(0, 0, 0));
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            out.pixels.append(qAlpha(p) >= opaqueFrom ? nearest(out.palette, p) : -1);
        }
    return out;
}

// The image as the file stores it: BITMAPINFOHEADER, palette, colour indices
// and the transparency mask, both bottom row first, rows padded to 4 bytes.
QByteArray dib(const QImage &image, int bitsPerPixel)
{
    const int colours = 1 << bitsPerPixel;
    const Indexed indexed = palettised(image, colours);
    const int width = image.width();
    const int height = image.height();
    const int colourStride = (width * bitsPerPixel + 31) / 32 * 4;
    const int maskStride = (width + 31) / 32 * 4;

    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint32(40) << qint32(width) << qint32(2 * height) << quint16(1) << quint16(bitsPerPixel)
      << quint32(0) << quint32((colourStride + maskStride) * height) << qint32(0) << qint32(0)
      << quint32(colours) << quint32(0);
    for (int i = 0; i < colours; ++i) {
        const QRgb c = indexed.palette[i];
        s << quint8(qBlue(c)) << quint8(qGreen(c)) << quint8(qRed(c)) << quint8(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(colourStride, '\0');
        for (int x = 0; x < width; ++x) {
            // A transparent pixel is black under the mask.
            const int index = std::max(0, indexed.pixels[y * width + x]);
            if (bitsPerPixel == 8)
                row[x] = char(index);
            else
                row[x / 2] = char(row[x / 2] | (x % 2 ? index : index << 4));
        }
        s.writeRawData(row.constData(), int(row.size()));
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < width; ++x)
            if (indexed.pixels[y * width + x] < 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        s.writeRawData(row.constData(), int(row.size()));
    }
    return out;
}

// Icons (type 1) keep planes and bit count in the directory entry; cursors
// (type 2) keep the hot spot there instead.
QByteArray container(const QList<IcoImage> &images, quint16 type, const QList<QPoint> &hotSpots)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint16(0) << type << quint16(images.size());
    QList<QByteArray> bodies;
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const IcoImage &entry = images[i];
        bodies.append(dib(entry.image, entry.bitsPerPixel));
        const int width = entry.image.width();
        const int height = entry.image.height();
        s << quint8(width % 256) << quint8(height % 256)
          << quint8(entry.bitsPerPixel < 8 ? 1 << entry.bitsPerPixel : 0) << quint8(0);
        if (type == 2)
            s << quint16(hotSpots[i].x()) << quint16(hotSpots[i].y());
        else
            s << quint16(1) << quint16(entry.bitsPerPixel);
        s << quint32(bodies.last().size()) << offset;
        offset += quint32(bodies.last().size());
    }
    for (const QByteArray &body : bodies)
        s.writeRawData(body.constData(), int(body.size()));
    return out;
}

} // namespace

QByteArray icoFile(const QList<IcoImage> &images)
{
    return container(images, 1, {});
}

QByteArray curFile(const QList<IcoImage> &images, const QList<QPoint> &hotSpots)
{
    return container(images, 2, hotSpots);
}

} // namespace pictures
