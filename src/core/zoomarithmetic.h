#pragma once

#include "core/surfacegeometry.h"

// The arithmetic of the three-double-click zoom over plain doubles. A point
// d pixels right of the surface's upper left corner stands for
// lower + (upper - lower) * d / 400 (SurfacePixels: fixed, it does not
// follow the display's density); the functions keep the program's order
// of operations exactly, so their results are bit-exact.
namespace ZoomArithmetic {

// The section coordinate for a pixel position, computed as
// lower + (upper - lower) * ((pixel - originPixel) / 400): the pixel
// difference is divided first, then multiplied by the span, and the lower
// coordinate is added last.
//   sectionCoordinate(-1.4025, -1.402, 200, 100) -> -1.402375
//   sectionCoordinate(0, 0.0005, 400, 200)       -> 0.00025
// A span beyond the double range gives an infinite or NaN result.
double sectionCoordinate(double lower, double upper, double pixel, double originPixel);

// The y of the lower right corner, so that the selection is a square whose
// side is the horizontal distance of the corners: (yp1 + xp2) - xp1.
//   derivedCornerY(200, 300, 300) -> 400
double derivedCornerY(double xp1, double yp1, double xp2);

} // namespace ZoomArithmetic
