#pragma once

#include "core/drawing.h"

// Where the pixels of a W × H picture lie in the plane: pixel (p, q), p from
// the left and q from the top, counting from 0, stands for the centre of its
// square, computed in exactly this order so every count is reproducible:
//   posterReal(-2, 2, 0, 2) -> -1    posterReal(-2, 2, 1, 2) -> 1
//   posterImag(y0, y1, q, n) runs from y0 at the top towards y1 at the bottom.
// n is the picture's width for posterReal and its height for posterImag.
inline double posterReal(double x0, double x1, int p, int n)
{
    return x0 + (double(2 * p + 1) * (x1 - x0)) / double(2 * n);
}

inline double posterImag(double y0, double y1, int q, int n)
{
    return y0 + (double(2 * q + 1) * (y1 - y0)) / double(2 * n);
}

// What a W × H picture shows: the drawing at a width (`size`) and height (0:
// as wide as high) in pixels, and whether counts above 400 cycle through
// the colours.
struct PosterFrame
{
    Drawing drawing;
    int size = 1;
    int height = 0;
    bool cycle = false;

    int rows() const { return height > 0 ? height : size; }
};
