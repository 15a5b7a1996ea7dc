#pragma once

#include <mpfr.h>

#include <cstdint>

// The plain loop in binary floating point of c's precision: from z = 0,
// x' = (x·x − y·y) + cx, y' = ((2·x)·y) + cy, m = x'·x' + y'·y', each
// operation rounded to nearest; steps until m > 5 (m <= 5 goes on) or imax.
// The deep kernel falls back on it for the pixels it cannot vouch for.
//   plainLoopCount(-2, 0, 1000) -> 1000     plainLoopCount(1, 2, 300) -> 2
std::int64_t plainLoopCount(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t imax);
