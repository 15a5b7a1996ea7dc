#pragma once

#include "core/escapetime.h"
#include "core/grid.h"
#include "core/section.h"
#include "core/standardcolors.h"
#include "core/swatchtable.h"

#include <QImage>
#include <QPoint>

#include <array>
#include <cstdint>
#include <vector>

// What a complete run of a section should draw, from the kernel and the
// table alone: the tests' and the end-to-end check's reference.

struct RunSection : Section
{
    std::int16_t imax;
};

inline constexpr RunSection StartSection{-1.4025, -1.4020, 0.0, 0.0005, 300};
inline constexpr int RunPoints = GridPoints * GridPoints;

// Every count of a run in the order the run computes them: column by
// column from the left, each column from the bottom.
inline std::vector<std::int16_t> kernelCounts(const RunSection &s)
{
    std::vector<std::int16_t> counts;
    counts.reserve(RunPoints);
    for (int i = GridFirst; i <= GridLimit; i += GridStep)
        for (int j = GridFirst; j <= GridLimit; j += GridStep)
            counts.push_back(punkt_iteration(gridReal(s.x0, s.x1, i), gridImag(s.y0, s.y1, j),
                                             EscapeBound, s.imax));
    return counts;
}

// Column I and row J of the k-th point in run order.
inline int columnOf(std::int64_t k) { return GridFirst + GridStep * int(k / GridPoints); }
inline int rowOf(std::int64_t k) { return GridFirst + GridStep * int(k % GridPoints); }

// The picture's pixel of the k-th point: it is set at (1440 + I, 6060 − J)
// twips, 15 twips to a pixel, and the picture's corner lies at (1440, 60).
inline QPoint pixelOf(std::int64_t k)
{
    return {(1440 + columnOf(k)) / 15 - 96, (6060 - rowOf(k)) / 15 - 4};
}

inline QImage blankPicture()
{
    QImage image(400, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Draws points [from, to) in the palette's colours; later points overwrite
// earlier ones on the same pixel, as on the screen.
inline void paint(QImage &image, const std::vector<std::int16_t> &counts, std::int64_t from,
                  std::int64_t to, const Palette &palette = StandardColors)
{
    for (std::int64_t k = from; k < to; ++k) {
        const ColorRef ref = palette[size_t(swatchForCount(counts[size_t(k)]))];
        image.setPixel(pixelOf(k), qRgb(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF)));
    }
}

inline QImage expectedPicture(const std::vector<std::int16_t> &counts,
                              const Palette &palette = StandardColors)
{
    QImage image = blankPicture();
    paint(image, counts, 0, std::int64_t(counts.size()), palette);
    return image;
}

// The iteration total of points [from, to), as lblCounts adds it up.
inline std::int64_t countsTotal(const std::vector<std::int16_t> &counts, std::int64_t from,
                                std::int64_t to)
{
    std::int64_t total = 0;
    for (std::int64_t k = from; k < to; ++k)
        total += counts[size_t(k)];
    return total;
}
