#include "core/escapetime.h"

// The order of operations in escapeStep() is part of the result: every
// count must be bit-for-bit the same on every compiler, so this file is built
// with -ffp-contract=off and the step must not be reordered.
std::int16_t punkt_iteration(double cx, double cy, double max_betrag_quadrat,
                             std::int16_t max_iter)
{
    double x = 0.0;
    double y = 0.0;
    double m = 0.0;
    std::int16_t n = 0;
    // An overflow makes m infinite (or NaN), and both end the loop.
    while (m <= max_betrag_quadrat && n < max_iter) {
        m = escapeStep(x, y, cx, cy);
        ++n;
    }
    return n;
}
