#include "core/columnkernel.h"

#include "core/columnjob.h"
#include "core/escapetime.h"
#include "core/grid.h"

#include <algorithm>
#include <vector>

namespace {

// punkt_iteration with Brent's cycle check from step `checkFrom` on: z is
// saved at growing intervals and every later z compared with it exactly.
// A repeat means a periodic orbit that stays inside, so the count is imax;
// an exact compare cannot change any count. `steps` gets the steps taken.
std::int16_t countWithCycleCheck(double cx, double cy, std::int16_t imax,
                                 int checkFrom, std::int64_t &steps, bool &cycled)
{
    double x = 0.0;
    double y = 0.0;
    double m = 0.0;
    int n = 0;
    const auto step = [&] {
        m = escapeStep(x, y, cx, cy);
        ++n;
    };
    const int plainUntil = checkFrom < imax ? checkFrom : imax;
    while (m <= EscapeBound && n < plainUntil)
        step();
    double savedX = x;
    double savedY = y;
    int nextSave = n + static_cast<int>(MinimumSaveGap);
    cycled = false;
    while (m <= EscapeBound && n < imax) {
        step();
        if (x == savedX && y == savedY) {
            cycled = true;
            break;
        }
        if (n == nextSave) {
            savedX = x;
            savedY = y;
            nextSave = n + static_cast<int>(n * SaveGapShare + MinimumSaveGap);
        }
    }
    steps += n;
    return cycled ? imax : static_cast<std::int16_t>(n);
}

ColumnWork computeColumnScalar(const ColumnJob &job)
{
    ColumnWork work;
    // Inside the set neighbours tend to stay inside: after a point that hit
    // the limit the next one in the list is checked from its first step.
    bool previousInside = false;
    for (int k = 0; k < job.points; ++k) {
        if (!job.cycles) {
            const std::int16_t count =
                punkt_iteration(job.cx[k], job.cy[k], EscapeBound, job.imax);
            job.counts[k] = count;
            work.steps += count;
            continue;
        }
        if (insideCardioidOrDisc(job.cx[k], job.cy[k])) {
            job.counts[k] = job.imax;
            ++work.insideShortcuts;
            previousInside = true;
            continue;
        }
        bool cycled = false;
        job.counts[k] = countWithCycleCheck(job.cx[k], job.cy[k], job.imax,
                                            previousInside ? 0 : CycleCheckAfter,
                                            work.steps, cycled);
        work.cyclesFound += cycled ? 1 : 0;
        previousInside = job.counts[k] == job.imax;
    }
    return work;
}

bool processorHas(KernelPath path)
{
#if defined(QUIRL_X86_LANES)
    switch (path) {
    case KernelPath::Sse2:
        return true;
    case KernelPath::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case KernelPath::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
    default:
        return false;
    }
#else
    (void)path;
    return false;
#endif
}

// A path the processor lacks steps down to the next narrower one.
KernelPath resolve(KernelPath path)
{
    if (path == KernelPath::Best)
        path = KernelPath::Avx512;
    while (path != KernelPath::Scalar && !processorHas(path))
        path = static_cast<KernelPath>(static_cast<int>(path) - 1);
    return path;
}

} // namespace

ColumnWork computeColumn(const Section &section, int i, std::int16_t imax,
                         std::int16_t *counts, KernelPath path, CycleCheck cycles)
{
    return computeColumns(section, i, 1, imax, counts, path, cycles);
}

ColumnWork computeColumns(const Section &section, int firstColumn, int columns,
                          std::int16_t imax, std::int16_t *counts, KernelPath path,
                          CycleCheck cycles)
{
    const std::size_t points = std::size_t(std::max(columns, 0)) * GridPoints;
    std::vector<double> cx(points);
    std::vector<double> cy(points);
    for (int row = 0; row < GridPoints; ++row)
        cy[std::size_t(row)] = gridImag(section.y0, section.y1, GridFirst + row * GridStep);
    for (int c = 0; c < columns; ++c) {
        const auto column = cx.begin() + std::ptrdiff_t(c) * GridPoints;
        std::fill_n(column, GridPoints, gridReal(section.x0, section.x1, firstColumn + c * GridStep));
        if (c > 0)
            std::copy_n(cy.begin(), GridPoints, cy.begin() + std::ptrdiff_t(c) * GridPoints);
    }
    return computePoints(cx.data(), cy.data(), int(points), imax, counts, path, cycles);
}

ColumnWork computeCounts(double cx, const double *cy, int points, std::int16_t imax,
                         std::int16_t *counts, KernelPath path, CycleCheck cycles)
{
    const std::vector<double> sharedCx(std::size_t(std::max(points, 0)), cx);
    return computePoints(sharedCx.data(), cy, points, imax, counts, path, cycles);
}

ColumnWork computePoints(const double *cx, const double *cy, int points, std::int16_t imax,
                         std::int16_t *counts, KernelPath path, CycleCheck cycles)
{
    if (imax <= 0) {
        for (int k = 0; k < points; ++k)
            counts[k] = 0;
        return {};
    }
    ColumnJob job;
    job.cx = cx;
    job.cy = cy;
    job.points = points;
    job.imax = imax;
    job.cycles = cycles == CycleCheck::On;
    job.counts = counts;
    switch (resolve(path)) {
#if defined(QUIRL_X86_LANES)
    case KernelPath::Sse2:
        return computeColumnSse2(job);
    case KernelPath::Avx2:
        return computeColumnAvx2(job);
    case KernelPath::Avx512:
        return computeColumnAvx512(job);
#endif
    default:
        return computeColumnScalar(job);
    }
}

void computeColumnPlain(const Section &section, int i, std::int16_t imax,
                        std::int16_t *counts)
{
    const double cx = gridReal(section.x0, section.x1, i);
    for (int k = 0; k < GridPoints; ++k) {
        const double cy = gridImag(section.y0, section.y1, GridFirst + k * GridStep);
        counts[k] = punkt_iteration(cx, cy, EscapeBound, imax);
    }
}

bool kernelPathAvailable(KernelPath path)
{
    return path == KernelPath::Best || path == KernelPath::Scalar
        || processorHas(path);
}

KernelPath bestKernelPath()
{
    return resolve(KernelPath::Best);
}

const char *kernelPathName(KernelPath path)
{
    switch (path) {
    case KernelPath::Best:
        return "best";
    case KernelPath::Scalar:
        return "scalar";
    case KernelPath::Sse2:
        return "sse2";
    case KernelPath::Avx2:
        return "avx2";
    case KernelPath::Avx512:
        return "avx512";
    }
    return "?";
}

int kernelPathWidth(KernelPath path)
{
    switch (resolve(path)) {
    case KernelPath::Sse2:
        return 2;
    case KernelPath::Avx2:
        return 4;
    case KernelPath::Avx512:
        return 8;
    default:
        return 1;
    }
}

void kernelStepProbe(KernelPath path, const StepProbe &probe)
{
    switch (resolve(path)) {
#if defined(QUIRL_X86_LANES)
    case KernelPath::Sse2:
        stepProbeSse2(probe);
        return;
    case KernelPath::Avx2:
        stepProbeAvx2(probe);
        return;
    case KernelPath::Avx512:
        stepProbeAvx512(probe);
        return;
#endif
    default:
        probe.xOut[0] = (probe.x[0] * probe.x[0] - probe.y[0] * probe.y[0]) + probe.cx;
        probe.yOut[0] = ((2.0 * probe.x[0]) * probe.y[0]) + probe.cy[0];
        probe.mOut[0] = probe.xOut[0] * probe.xOut[0] + probe.yOut[0] * probe.yOut[0];
    }
}
