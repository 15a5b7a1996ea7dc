#include "core/squarepixels.h"

#include <cmath>
#include <limits>

namespace {

// Relative difference of the two pixel sizes below which a section counts
// as already of the picture's shape, besides the rounding of its edges: a
// widened section measured again differs by that much only, and must not
// move a second time.
constexpr double SameShape = 1e-9;
constexpr double EdgeRounding = 4 * std::numeric_limits<double>::epsilon();

// The side from `low` to `high` widened about its centre to `length`,
// keeping its direction (an empty side opens towards +).
void widen(double &low, double &high, double length)
{
    const double centre = low + (high - low) / 2;
    const double half = std::copysign(length / 2, high - low);
    low = centre - half;
    high = centre + half;
}

} // namespace

Section squarePixels(const Section &section, int width, int height)
{
    const double pixelX = std::fabs(section.x1 - section.x0) / width;
    const double pixelY = std::fabs(section.y1 - section.y0) / height;
    const double larger = std::fmax(pixelX, pixelY);
    const double rounding = EdgeRounding * (std::fmax(std::fabs(section.x0), std::fabs(section.x1)) / width
                                            + std::fmax(std::fabs(section.y0), std::fabs(section.y1)) / height);
    if (larger == 0 || std::fabs(pixelX - pixelY) <= SameShape * larger + rounding)
        return section;
    Section widened = section;
    if (pixelX < pixelY)
        widen(widened.x0, widened.x1, pixelY * width);
    else
        widen(widened.y0, widened.y1, pixelX * height);
    return widened;
}
