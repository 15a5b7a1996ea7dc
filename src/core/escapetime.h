#pragma once

#ifdef __FAST_MATH__
#error "the escape step must not be built with -ffast-math: it reassociates and fuses it"
#endif

#include <cstdint>

// The bound on |z|² that the render run passes: the escape radius is √5.
inline constexpr double EscapeBound = 5.0;

// One step z ← z² + c in the order of operations that every count depends
// on; returns the new |z|². Built with -ffp-contract=off wherever it is used.
inline double escapeStep(double &x, double &y, double cx, double cy)
{
    const double xNext = (x * x - y * y) + cx;
    const double yNext = ((2.0 * x) * y) + cy;
    x = xNext;
    y = yNext;
    return x * x + y * y;
}

// Iterates z ← z² + c from z = 0 for c = cx + i·cy and returns the number of
// steps taken until |z|² > max_betrag_quadrat, or max_iter if it never was.
// The bound test is "<=": a point with |z|² equal to the bound goes on.
//   punkt_iteration(3, 0, 5, 300)  -> 1
//   punkt_iteration(1, 2, 5, 300)  -> 2    (|z1|² = 5 keeps iterating)
//   punkt_iteration(-2, 0, 5, 300) -> 300
//   punkt_iteration(x, y, 5, 0)    -> 0
// A floating-point overflow ends the loop as an escape.
std::int16_t punkt_iteration(double cx, double cy, double max_betrag_quadrat,
                             std::int16_t max_iter);
