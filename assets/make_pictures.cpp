// Draws the program's pictures from scratch and writes them into one folder:
// the window and program icon (cadrel.ico and PNGs for the desktop), the
// banner (banner.jpg), the toggle button's pointer (submarine.ico) and the
// slider's pointing hand (hand.cur, hand.png).
//
// The pictures are committed; the build does not run this tool. To remake
// them after changing a drawing, from the source folder:
//   cmake --build <build folder> --target make_pictures
//   <build folder>/bin/make_pictures assets/pictures
// The banner's lettering is Liberation Serif (Debian: fonts-liberation2).
// cadrel.svg is written by hand after the same drawing (32-unit grid).
#include "make_pictures_drawings.h"
#include "make_pictures_ico.h"

#include <cstdio>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImageWriter>

using namespace pictures;

namespace {

bool writeFile(const QDir &folder, const QString &name, const QByteArray &bytes)
{
    QFile file(folder.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures <output folder>\n");
        return 2;
    }
    if (QFontInfo(QFont(QStringLiteral("Liberation Serif"))).family() != "Liberation Serif")
        std::fprintf(stderr,
                     "make_pictures: Liberation Serif is missing, the banner will differ\n");
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok &= programIcon(size).save(out.filePath(QStringLiteral("cadrel-%1.png").arg(size)));
    // 256 and 16 colours show a flat ground better than a quantised shading.
    ok &= writeFile(
        out, QStringLiteral("cadrel.ico"),
        icoFile({{programIcon(16), 8}, {programIcon(32, true), 8}, {programIcon(32, true), 4}}));
    ok &= writeFile(out, QStringLiteral("submarine.ico"),
                    icoFile({{submarine(16), 8}, {submarine(32), 8}, {submarine(32), 4}}));
    ok &= writeFile(out, QStringLiteral("hand.cur"), curFile({{hand(), 4}}, {handHotSpot}));
    ok &= hand().save(out.filePath(QStringLiteral("hand.png")));
    QImageWriter jpeg(out.filePath(QStringLiteral("banner.jpg")), "jpg");
    jpeg.setQuality(95);
    ok &= jpeg.write(banner());
    if (!ok)
        std::fprintf(stderr, "make_pictures: could not write every picture into %s\n", argv[1]);
    return ok ? 0 : 1;
}
