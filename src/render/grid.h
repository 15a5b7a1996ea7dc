#pragma once

// The render grid in twips of the drawing surface: indices 1, 14, ..., 5994
// in both directions, 462 × 462 points.
inline constexpr int GridFirst = 1;
inline constexpr int GridStep = 13;
inline constexpr int GridLimit = 6000;
inline constexpr int GridPoints = 462;

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
