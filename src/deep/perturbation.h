#pragma once

#include "deep/floatexp.h"
#include "deep/referenceorbit.h"

class SkipTable;

#include <cstdint>

// One pixel's perturbation run: dz(n) = z(n) − Z(m), with
//   dz' = (2·Z(m) + dz)·dz + dc
// and E, a bound on |dz − exact dz|, carried along:
//   E' = E·(2|z| + E) + 8u·(|2Z + dz|·|dz| + |dc| + |dz'|) + tiny
// (u = 2^-53; tiny covers the subnormal range). Each escape test |z|² > 5
// is decided only when |z|² is further than its own bound from 5.
// Deltas below 2^-900 run as FloatExp, or between the reference's near
// returns as doubles with an exponent of their own: their squares and the
// products in the error bound would leave the double range.
inline constexpr std::int64_t DoubleDeltaExponent = -900;

struct PerturbationResult
{
    enum Verdict { Counted, Unsure };
    Verdict verdict = Counted;
    std::int64_t count = 0;
    std::int64_t steps = 0;
    std::int64_t rebases = 0;       // the pixel came closer to 0 than Z
    std::int64_t referenceEnds = 0; // the reference ran out (escaped or Imax)
    std::int64_t skips = 0;   // nodes of the skip table applied
    std::int64_t skipped = 0; // steps they skipped (not in steps)
    bool extended = false;
    bool interior = false; // proven never to escape: the count is imax
};

// results[k] for the pixel whose c minus the reference's C is dcx[k] +
// i·dcy[k], each rounded once; k < pixels.
// With period > 0 the lanes try the interior test with that period; with
// skips, pixels skip steps by its nodes, in doubles and below them.
void perturb(const ReferenceOrbit &reference, const FloatExp *dcx, const FloatExp *dcy,
             int pixels, std::int64_t imax, std::int64_t period, const SkipTable *skips,
             PerturbationResult *results);
