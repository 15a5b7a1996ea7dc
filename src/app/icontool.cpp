// quirlbau-icon OUTDIR SIZE...
//
// Writes the program's icon for the desktop at build time:
//   OUTDIR/quirlbau.png                         300 x 300, 8-bit indexed, as the window shows it
//   OUTDIR/hicolor/SIZExSIZE/apps/quirlbau.png  scaled down from it, one per SIZE
#include "app/icon.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

namespace {

const QString IconName = QStringLiteral("quirlbau.png");

bool save(const QImage &image, const QString &directory)
{
    if (!QDir().mkpath(directory))
        return false;
    return image.save(directory + QLatin1Char('/') + IconName, "PNG");
}

// Smooth scaling blends neighbouring bands, so the small sizes leave the
// 8-bit palette; at 16 pixels a nearest-neighbour picture would be noise.
QImage scaled(const QImage &icon, int side)
{
    return icon.convertToFormat(QImage::Format_RGB32)
        .scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fputs("usage: quirlbau-icon OUTDIR SIZE...\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QImage icon = mandelbrotIcon();
    if (!save(icon, out)) {
        std::fprintf(stderr, "quirlbau-icon: cannot write %s\n", qPrintable(out + '/' + IconName));
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int side = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || side <= 0 || side > icon.width()) {
            std::fprintf(stderr, "quirlbau-icon: bad size %s\n", argv[i]);
            return 2;
        }
        const QString directory = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(side);
        if (!save(scaled(icon, side), directory)) {
            std::fprintf(stderr, "quirlbau-icon: cannot write into %s\n", qPrintable(directory));
            return 1;
        }
    }
    return 0;
}
