// Writes the program's icon into a hicolor theme tree: the about box's balance as a
// scalable SVG and as PNGs of the sizes desktops look for.
//
//   icon-render <theme dir> <icon name> <size>...

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <cstdio>

#include "about/frmAbout.h"

namespace {

// How far the about box's picture must move to sit in the middle of its square, as a
// fraction of the side: the about box leaves room above the sample, an icon must not.
QPointF centringShift()
{
    const int side = 400;
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    frmAbout::PaintProductPicture(painter, side);
    painter.end();
    int left = side, right = -1, top = side, bottom = -1;
    for (int y = 0; y < side; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < side; ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return {};
    return QPointF(side - 1 - left - right, side - 1 - top - bottom) / (2.0 * side);
}

void paintCentred(QPainter& painter, int size)
{
    static const QPointF shift = centringShift();
    painter.translate(shift * size);
    frmAbout::PaintProductPicture(painter, size);
}

bool writeSvg(const QString& path, const QString& name)
{
    // The drawing works in a 100 x 100 square; the viewBox keeps it that way at any size.
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setTitle(name);
    svg.setSize(QSize(100, 100));
    svg.setViewBox(QRect(0, 0, 100, 100));
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    paintCentred(painter, 100);
    return painter.end();
}

bool writePng(const QString& path, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintCentred(painter, size);
    painter.end();
    return image.save(path, "PNG");
}

} // namespace

int main(int argc, char* argv[])
{
    // Runs during the build, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: icon-render <theme dir> <icon name> <size>...\n");
        return 2;
    }
    const QDir theme(args[1]);
    const QString name = args[2];

    const QString scalable = QStringLiteral("scalable/apps");
    bool ok =
        theme.mkpath(scalable) && writeSvg(theme.filePath(scalable + '/' + name + ".svg"), name);
    for (const QString& sizeText : args.mid(3)) {
        const int size = sizeText.toInt();
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        ok = ok && size > 0 && theme.mkpath(dir) &&
             writePng(theme.filePath(dir + '/' + name + ".png"), size);
    }
    if (!ok)
        std::fprintf(stderr, "icon-render: could not write the icons under %s\n",
                     qPrintable(theme.path()));
    return ok ? 0 : 1;
}
