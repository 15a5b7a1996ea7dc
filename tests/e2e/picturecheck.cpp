// Compares the drawing surface in a screenshot with what a complete run of
// a section should draw, all 400 x 400 pixels, with no tolerance: a point
// shows over the frame lines as anywhere else.
//
//   picturecheck SHOT.png LEFT TOP [X0 X1 Y0 Y1 IMAX]
//
// LEFT, TOP: where the surface's top-left pixel lies in the screenshot. The
// section is the start section unless given (numbers with a full stop).
// Exit status 0 when every pixel matches, 1 otherwise, with the differing
// pixels listed; 2 on bad arguments.

#include "expectedpicture.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <optional>

namespace {

constexpr int ListedAtMost = 20;

QStringList differences(const QImage &shot, QPoint corner, const QImage &expected)
{
    QStringList found;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb want = expected.pixel(x, y);
            const QRgb got = shot.pixel(corner + QPoint(x, y)) | 0xFF000000;
            if (got != want)
                found.append(QStringLiteral("(%1,%2) is #%3, expected #%4")
                                 .arg(x)
                                 .arg(y)
                                 .arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                 .arg(want & 0xFFFFFF, 6, 16, QLatin1Char('0')));
        }
    }
    return found;
}

std::optional<RunSection> sectionFrom(char *argv[])
{
    bool ok[5];
    const RunSection s{QByteArray(argv[0]).toDouble(&ok[0]), QByteArray(argv[1]).toDouble(&ok[1]),
                       QByteArray(argv[2]).toDouble(&ok[2]), QByteArray(argv[3]).toDouble(&ok[3]),
                       QByteArray(argv[4]).toShort(&ok[4])};
    if (!(ok[0] && ok[1] && ok[2] && ok[3] && ok[4]))
        return std::nullopt;
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const std::optional<RunSection> section = argc == 9 ? sectionFrom(argv + 4)
                                              : argc == 4 ? std::optional(StartSection)
                                                          : std::nullopt;
    if (!section) {
        std::fputs("usage: picturecheck SHOT.png LEFT TOP [X0 X1 Y0 Y1 IMAX]\n", stderr);
        return 2;
    }
    const QImage shot = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const QPoint corner(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
    if (shot.isNull() || !shot.rect().contains(QRect(corner, QSize(400, 400)))) {
        std::fprintf(stderr, "picturecheck: %s has no 400 x 400 surface at (%d, %d)\n", argv[1],
                     corner.x(), corner.y());
        return 2;
    }

    const QStringList found = differences(shot, corner, expectedPicture(kernelCounts(*section)));
    if (found.isEmpty()) {
        std::printf("all 400 x 400 pixels match, 0 differences\n");
        return 0;
    }
    std::printf("%lld pixels differ, the first:\n", qint64(found.size()));
    for (const QString &line : found.mid(0, ListedAtMost))
        std::printf("  %s\n", qPrintable(line));
    return 1;
}
