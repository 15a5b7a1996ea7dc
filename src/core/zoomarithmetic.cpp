#include "core/zoomarithmetic.h"

namespace ZoomArithmetic {

double sectionCoordinate(double lower, double upper, double pixel, double originPixel)
{
    const double fraction = (pixel - originPixel) / double(SurfacePixels);
    const double offset = (upper - lower) * fraction;
    return lower + offset;
}

double derivedCornerY(double xp1, double yp1, double xp2)
{
    return (yp1 + xp2) - xp1;
}

} // namespace ZoomArithmetic
