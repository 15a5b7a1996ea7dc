#include "core/escapetime.h"

// Fast-math reassociates and fuses the steps below and changes the counts.
#ifdef __FAST_MATH__
#error "punkt_iteration must not be built with -ffast-math"
#endif

// The order of operations below is part of the result: every count must be
// bit-for-bit the same on every compiler, so this file is built with
// -ffp-contract=off and must not be reordered.
std::int16_t punkt_iteration(double cx, double cy, double max_betrag_quadrat,
                             std::int16_t max_iter)
{
    double x = 0.0;
    double y = 0.0;
    double m = 0.0;
    std::int16_t n = 0;
    // An overflow makes m infinite (or NaN), and both end the loop.
    while (m <= max_betrag_quadrat && n < max_iter) {
        const double xNext = (x * x - y * y) + cx;
        const double yNext = ((2.0 * x) * y) + cy;
        x = xNext;
        y = yNext;
        ++n;
        m = x * x + y * y;
    }
    return n;
}
