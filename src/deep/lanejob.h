#pragma once

#include "deep/perturbation.h"
#include "deep/skiptable.h"

#include <cstdint>
#include <limits>
#include <vector>

// The constants of the perturbation's error bound.
namespace DeepBound {

inline constexpr double U = 0x1p-53;
// Each bracketed expression of a step rounds at most a few times; eight
// units of roundoff on its size cover them with room to spare.
inline constexpr double Rounding = 8.0 * U;
// The bound's own arithmetic is rounded; this factor keeps it an upper bound.
inline constexpr double Up = 1.0 + 8.0 * U;
// Absolute rounding in the subnormal range: a few half-spacings a step.
inline constexpr double Tiny = 16.0 * std::numeric_limits<double>::denorm_min();

} // namespace DeepBound

// Where a pixel goes on in doubles: from its start, or from where its
// FloatExp run left the range below 2^-900.
struct LaneState
{
    std::int64_t m = 0; // index into the reference
    std::int64_t n = 0; // steps taken
    double dx = 0.0, dy = 0.0;
    double error = 0.0;  // bound on |dz − exact dz|
    double zBound = 0.0; // bound on the exact |z|
};

struct LaneStart
{
    int pixel = -1; // index into the results
    double dcx = 0.0, dcy = 0.0;
    LaneState state;
};

// Pixels for the double lanes: each runs to an escape, a doubtful escape
// test or imax, and its result (count, verdict, steps, rebases) is added to
// results[pixel].
struct LaneJob
{
    const double *refX = nullptr;
    const double *refY = nullptr;
    std::int64_t last = 0; // the reference's last step, at least 1
    std::int64_t imax = 0;
    std::vector<LaneStart> starts;
    PerturbationResult *results = nullptr;
    // Where not 0: the period of the attracting cycle to try the interior
    // test with (interiortest.h), at steps that are multiples of it.
    std::int64_t period = 0;
    // Where set: lanes skip steps by its nodes wherever one fits.
    const SkipTable *skips = nullptr;
};

void runLanesGeneric(const LaneJob &job);
#if defined(QUIRL_X86_LANES)
void runLanesAvx2(const LaneJob &job);
void runLanesAvx512(const LaneJob &job);
#endif
// The lanes that run on this processor: "avx512" (eight lanes), "avx2" or
// "generic" (four).
const char *laneBuildName();
