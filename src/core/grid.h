#pragma once

#include "core/surfacegeometry.h"

#include <algorithm>
#include <cstdint>

// The render grid in twips of the drawing surface: indices 1, 14, ..., 5994
// in both directions, 462 × 462 points. Point (I, J) lies at
// (1440 + I, 6060 − J) twips: J counts upwards from the bottom edge.
inline constexpr int GridFirst = 1;
inline constexpr int GridStep = 13;
inline constexpr int GridLimit = SurfaceTwips;
inline constexpr int GridPoints = (GridLimit - GridFirst) / GridStep + 1;
static_assert(GridPoints == 462);

// Real part of column i: x0 + (i · (x1 − x0)) / 6000, in exactly this order.
inline double gridReal(double x0, double x1, int i)
{
    return x0 + (i * (x1 - x0)) / GridLimit;
}

// Imaginary part of row j, counted upwards from the bottom edge (y1).
inline double gridImag(double y0, double y1, int j)
{
    return y1 - (j * (y1 - y0)) / GridLimit;
}

// Where the point (I, J) is set on the window, in twips.
inline constexpr QPoint gridPointTwips(int i, int j)
{
    return {SurfaceLeftTwips + i, SurfaceBottomTwips - j};
}

// lblBar's full width in twips, reached when column GridLimit is done.
inline constexpr int BarFullTwips = 1335;

// lblBar's width once column I is the last one done: (I · 1335) / 6000
// twips, held in single precision as the bar's width is; 0 for no column.
inline int barWidthPixels(int column)
{
    const float twips = float(double(column) * BarFullTwips / GridLimit);
    return twipsToPixelLength(twips);
}

// The last column a picture of `pixels` points has whole, counting them
// column by column from the first (0 for none); at most the last one.
inline int lastWholeColumn(std::int64_t pixels)
{
    const std::int64_t columns = std::min<std::int64_t>(pixels / GridPoints, GridPoints);
    return columns > 0 ? GridFirst + int(columns - 1) * GridStep : 0;
}
