// Compares the drawing surface in a screenshot with what a complete run of
// the start section should draw.
//
//   picturecheck SHOT.png LEFT TOP
//
// LEFT, TOP: where the surface's top-left pixel lies in the screenshot.
// Exit status 0 when every pixel matches, apart from the left column and the
// top row, which the frame lines Line1 and Line3 cover: there the line's
// colour is expected wherever the point's colour is another. 1 otherwise,
// with the differing pixels listed; 2 on bad arguments.

#include "expectedpicture.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdio>

namespace {

constexpr QRgb LineColor = 0xFF000000; // the frame's window-text black
constexpr int ListedAtMost = 20;

struct Differences
{
    int underLines = 0; // left column or top row, showing the line
    QStringList others;
};

Differences compare(const QImage &shot, QPoint corner, const QImage &expected)
{
    Differences found;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb want = expected.pixel(x, y);
            const QRgb got = shot.pixel(corner + QPoint(x, y)) | 0xFF000000;
            if (got == want)
                continue;
            if ((x == 0 || y == 0) && got == LineColor) {
                ++found.underLines;
                continue;
            }
            found.others.append(QStringLiteral("(%1,%2) is #%3, expected #%4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                    .arg(want & 0xFFFFFF, 6, 16, QLatin1Char('0')));
        }
    }
    return found;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fputs("usage: picturecheck SHOT.png LEFT TOP\n", stderr);
        return 2;
    }
    const QImage shot = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const QPoint corner(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
    if (shot.isNull() || !shot.rect().contains(QRect(corner, QSize(400, 400)))) {
        std::fprintf(stderr, "picturecheck: %s has no 400 x 400 surface at (%d, %d)\n", argv[1],
                     corner.x(), corner.y());
        return 2;
    }

    const Differences found = compare(shot, corner, expectedPicture(kernelCounts(StartSection)));
    std::printf("%d pixels of the left column and top row show the frame lines\n",
                found.underLines);
    if (found.others.isEmpty()) {
        std::printf("every other pixel of the 400 x 400 surface matches\n");
        return 0;
    }
    std::printf("%lld other pixels differ, the first:\n", qint64(found.others.size()));
    for (const QString &line : found.others.mid(0, ListedAtMost))
        std::printf("  %s\n", qPrintable(line));
    return 1;
}
