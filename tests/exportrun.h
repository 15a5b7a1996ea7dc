#pragma once

#include "expectedpicture.h"
#include "picturebytes.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <optional>

// The real program run as a user runs it, without a display, and what its
// pictures should hold: shared by the tests of stills and of films.

struct Outcome
{
    int status = -1;
    QByteArray errors;
    QByteArray output;
};

// Runs the program in `folder` with no display at all; `shell` wraps it
// ("$@" is the program and its arguments).
inline Outcome runQuirlbau(const QString &folder, const QStringList &arguments, const QString &shell = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    if (shell.isEmpty())
        process.start(QStringLiteral(QUIRLBAU_PROGRAM), arguments);
    else
        process.start(u"sh"_qs, QStringList{u"-c"_qs, shell, u"sh"_qs, QStringLiteral(QUIRLBAU_PROGRAM)} + arguments);
    if (!process.waitForFinished(300000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardError(),
            process.readAllStandardOutput()};
}

// The pixel's centre written out as the README states it.
inline double centre(double low, double high, int k, int n)
{
    return low + ((2 * k + 1) * (high - low)) / (2 * n);
}

inline QRgb rgbOf(ColorRef ref)
{
    return qRgb(redOf(ref), greenOf(ref), blueOf(ref));
}

// Sampled pixels of a written file against the kernel at the pixel centres
// of the section, size and colours its texts record.
inline void checkPixels(const QString &file)
{
    const std::optional<PictureRecord> record = recordOf(file);
    QVERIFY(record);
    const QImage image = pixelsOf(file);
    QCOMPARE(image.size(), QSize(record->size, record->height));
    const int stepX = std::max(1, record->size / 17), stepY = std::max(1, record->height / 13);
    for (int p = 0; p < record->size; p += stepX) {
        for (int q = 0; q < record->height; q += stepY) {
            const Section &s = record->drawing.section;
            const std::int16_t count = punkt_iteration(centre(s.x0, s.x1, p, record->size),
                                                       centre(s.y0, s.y1, q, record->height), EscapeBound,
                                                       record->drawing.imax);
            QCOMPARE(image.pixel(p, q),
                     rgbOf(record->drawing.palette[size_t(swatchForCount(count, record->cycle))]));
        }
    }
}

inline QStringList sectionOptions(const RunSection &s)
{
    return {u"--x0=%1"_qs.arg(s.x0, 0, 'g', 17), u"--x1=%1"_qs.arg(s.x1, 0, 'g', 17),
            u"--y0=%1"_qs.arg(s.y0, 0, 'g', 17), u"--y1=%1"_qs.arg(s.y1, 0, 'g', 17), u"--imax=%1"_qs.arg(s.imax)};
}

// The seahorse valley, 1E-6 wide, where most counts at Imax 1000 pass 400.
inline constexpr RunSection Seahorse{-0.7436444, -0.7436434, 0.1318254, 0.1318264, 1000};
