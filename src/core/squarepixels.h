#pragma once

#include "core/section.h"

// The section a W × H picture shows with square pixels: the shorter side
// (relative to the picture's shape) is widened about its centre until
// |x1 − x0| / W equals |y1 − y0| / H. Each side keeps its direction, so a
// section with swapped edges stays mirrored. A section already of the
// picture's shape, up to rounding, is given back unchanged, bit for bit; so
// is one whose both sides are empty.
//   squarePixels({-2, 2, -2, 2}, 400, 400) -> {-2, 2, -2, 2}
//   squarePixels({-2, 2, -2, 2}, 200, 100) -> {-4, 4, -2, 2}
//   squarePixels({2, -2, -1, 1}, 100, 100) -> {2, -2, -2, 2}
Section squarePixels(const Section &section, int width, int height);
