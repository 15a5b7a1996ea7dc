#pragma once

#include "core/columnkernel.h"

#include <cstdint>

// A list of points as the kernels see it, point k at c = cx[k] + i·cy[k]:
// one column or several. imax >= 1 (the caller answers Imax <= 0 itself).
struct ColumnJob
{
    const double *cx = nullptr;
    const double *cy = nullptr;
    int points = 0;
    std::int16_t imax = 1;
    bool cycles = true;
    std::int16_t *counts = nullptr;
};

// Iterations a point runs without the cycle check. Most escaping points are
// done by then; a point still inside after this many steps probably never
// leaves, and there the exact check pays for itself many times over.
inline constexpr int CycleCheckAfter = 256;

// Brent's method saves z and compares every later z with it. Here the gap to
// the next save grows by a sixteenth of the step count (and is at least 16)
// instead of doubling: an orbit that turns exactly periodic at step s is then
// caught by about 1.06 s instead of up to 2 s, and a period longer than the
// gap is still caught once the gap has grown past it.
inline constexpr double SaveGapShare = 0.0625;
inline constexpr double MinimumSaveGap = 16.0;

// Whether c lies in the main cardioid or the period-2 disc, where every orbit
// stays bounded and the plain loop runs to Imax. Near their boundaries an
// orbit needs far more than 32767 steps to escape, so a point that rounding
// places a hair outside still reaches any Imax the type holds. The box first
// keeps huge or infinite c away from the squares below.
inline bool insideCardioidOrDisc(double cx, double cy)
{
    if (!(cx >= -1.25 && cx <= 0.375 && cy >= -0.65 && cy <= 0.65))
        return false;
    const double u = cx - 0.25;
    const double q = u * u + cy * cy;
    if (q * (q + u) <= 0.25 * cy * cy)
        return true;
    const double v = cx + 1.0;
    return v * v + cy * cy <= 0.0625;
}

// One step z <- z² + c and its |z|² for `width` points, computed by the
// vector path itself: lets a test prove that no multiply-add was fused.
struct StepProbe
{
    const double *x;
    const double *y;
    double cx;
    const double *cy;
    double *xOut;
    double *yOut;
    double *mOut;
};

// Runs the probe on the given path (Width points; the scalar path does one).
void kernelStepProbe(KernelPath path, const StepProbe &probe);

#if defined(QUIRL_X86_LANES)
ColumnWork computeColumnSse2(const ColumnJob &job);
ColumnWork computeColumnAvx2(const ColumnJob &job);
ColumnWork computeColumnAvx512(const ColumnJob &job);
void stepProbeSse2(const StepProbe &probe);
void stepProbeAvx2(const StepProbe &probe);
void stepProbeAvx512(const StepProbe &probe);
#endif
