#pragma once

#include <cstdint>

// The bound on |z|² that the render run passes: the escape radius is √5.
inline constexpr double EscapeBound = 5.0;

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
