#pragma once

#include "core/surfacegeometry.h"

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
