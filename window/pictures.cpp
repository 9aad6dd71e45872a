#include "window/pictures.h"

#include <algorithm>
#include <QImage>
#include <QImageReader>
#include <QSet>

namespace window {
namespace {

const QString iconFile = QStringLiteral(":/pictures/cadrel.ico");
const QString submarineFile = QStringLiteral(":/pictures/submarine.ico");
const QString handFile = QStringLiteral(":/pictures/hand.cur");
const QString bannerFile = QStringLiteral(":/pictures/banner.jpg");

// Larger renderings of the icon for desktops that show it bigger than 32 by
// 32 (task switchers, docks); below that the icon file's own images serve.
constexpr int largeIconSizes[] = {48, 64, 128, 256};

int colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

// The images of an icon file, one per size: where a size comes in 16 and in
// 256 colours, the one with more colours.
QList<QImage> iconImages(const QString &fileName)
{
    QList<QImage> best;
    QImageReader reader(fileName);
    for (int i = 0; i < reader.imageCount(); ++i) {
        reader.jumpToImage(i);
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        auto same = std::find_if(best.begin(), best.end(), [&image](const QImage &kept) {
            return kept.size() == image.size();
        });
        if (same == best.end())
            best.append(image);
        else if (colourCount(image) > colourCount(*same))
            *same = image;
    }
    return best;
}

QImage imageOfSize(const QString &fileName, int size)
{
    for (const QImage &image : iconImages(fileName))
        if (image.width() == size)
            return image;
    return {};
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (const QImage &image : iconImages(iconFile))
        icon.addPixmap(QPixmap::fromImage(image));
    for (int size : largeIconSizes)
        icon.addFile(QStringLiteral(":/pictures/cadrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap bannerPicture()
{
    return QPixmap(bannerFile);
}

QCursor toggleButtonCursor()
{
    return QCursor(QPixmap::fromImage(imageOfSize(submarineFile, 32)), toggleButtonHotSpot.x(),
                   toggleButtonHotSpot.y());
}

QCursor sliderCursor()
{
    return QCursor(QPixmap::fromImage(imageOfSize(handFile, 32)), sliderHotSpot.x(),
                   sliderHotSpot.y());
}

} // namespace window
