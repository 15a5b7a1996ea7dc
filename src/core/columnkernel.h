#pragma once

#include "core/grid.h"
#include "core/section.h"

#include <cstdint>

// The ways a grid column can be computed. Every path gives exactly the counts
// of punkt_iteration, bit for bit; they differ only in speed.
enum class KernelPath {
    Best,   // the widest vector path this processor runs
    Scalar, // one point at a time
    Sse2,   // 2 points per register, every x86-64
    Avx2,   // 4 points per register
    Avx512, // 8 points per register
};

// Whether periodic orbits are recognised early, and points in the main
// cardioid or the period-2 disc answered at once (both still count Imax).
// Off leaves the plain loop, the reference.
enum class CycleCheck { Off, On };

// What a column (or a list of points) cost: iteration steps actually taken, how many points ended
// because their orbit was found to repeat exactly, and how many lay in the
// main cardioid or the period-2 disc and got Imax without a step.
struct ColumnWork
{
    std::int64_t steps = 0;
    int cyclesFound = 0;
    int insideShortcuts = 0;
};

// Fills counts[0..461] for grid column i (rows J = 1, 14, ..., 5994) of the
// section with the counts punkt_iteration(cx, cy, EscapeBound, imax) gives
// for cx = gridReal(x0, x1, i), cy = gridImag(y0, y1, J).
// A path this processor lacks falls back to the widest one it has.
//   computeColumn({-2, 2, -2, 2}, 3001, 300, counts) -> counts[230] == 300
ColumnWork computeColumn(const Section &section, int i, std::int16_t imax,
                         std::int16_t *counts,
                         KernelPath path = KernelPath::Best,
                         CycleCheck cycles = CycleCheck::On);

// The same for any points that share their real part: counts[k] gets
// punkt_iteration(cx, cy[k], EscapeBound, imax) for k < points.
ColumnWork computeCounts(double cx, const double *cy, int points, std::int16_t imax,
                         std::int16_t *counts,
                         KernelPath path = KernelPath::Best,
                         CycleCheck cycles = CycleCheck::On);

// Any points, each with its own c: counts[k] gets punkt_iteration(cx[k],
// cy[k], EscapeBound, imax) for k < points. The vector lanes refill from the
// whole list, so the slow points of different columns run side by side
// instead of each one alone at the end of its column.
ColumnWork computePoints(const double *cx, const double *cy, int points, std::int16_t imax,
                         std::int16_t *counts,
                         KernelPath path = KernelPath::Best,
                         CycleCheck cycles = CycleCheck::On);

// Grid columns firstColumn, firstColumn + 13, ... (`columns` of them, all
// <= 6000) in one list: counts[c * 462 + k] is row k of the c-th column, as
// computeColumn gives it.
//   computeColumns({-2, 2, -2, 2}, 2991, 2, 300, counts) -> counts[230] == 300
ColumnWork computeColumns(const Section &section, int firstColumn, int columns,
                          std::int16_t imax, std::int16_t *counts,
                          KernelPath path = KernelPath::Best,
                          CycleCheck cycles = CycleCheck::On);

// The reference: punkt_iteration called once per point, nothing else.
void computeColumnPlain(const Section &section, int i, std::int16_t imax,
                        std::int16_t *counts);

// True when this build and processor can run the path (Best and Scalar
// always can).
bool kernelPathAvailable(KernelPath path);

// The path that Best stands for on this processor.
KernelPath bestKernelPath();

// "scalar", "sse2", "avx2", "avx512"; "best" for Best.
const char *kernelPathName(KernelPath path);

// Points per vector register of the path: 1, 2, 4 or 8.
int kernelPathWidth(KernelPath path);
