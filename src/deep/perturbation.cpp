#include "deep/perturbation.h"

#include "core/escapetime.h"
#include "deep/lanejob.h"

#include <cmath>
#include <limits>
#include <vector>

// The bound below holds only for the written order of double operations.
#ifdef __FAST_MATH__
#error "the perturbation's error bound must not be built with -ffast-math"
#endif

namespace {

using namespace DeepBound;


struct ExtendedState
{
    std::int64_t m = 0;
    std::int64_t n = 0;
    FloatExp dx, dy, error, zBound;
};

double l1(double x, double y)
{
    return std::fabs(x) + std::fabs(y);
}

FloatExp l1(FloatExp x, FloatExp y)
{
    return abs(x) + abs(y);
}

// Ends the run where an escape test was near enough to 5 to be in doubt.
void escapeDecided(double mag, double errM, PerturbationResult &result, std::int64_t n)
{
    result.count = n;
    result.verdict = mag - errM > EscapeBound ? PerturbationResult::Counted
                                              : PerturbationResult::Unsure;
}

// The same in FloatExp, until the delta has grown into the double range;
// returns the state to go on from in doubles, or nothing once decided.
bool runExtended(const ReferenceOrbit &reference, FloatExp dcx, FloatExp dcy,
                 std::int64_t imax, PerturbationResult &result, LaneState &out)
{
    const FloatExp *refX = reference.extendedX();
    const FloatExp *refY = reference.extendedY();
    const std::int64_t last = reference.last();
    const FloatExp two = FloatExp::fromDouble(2.0), u = FloatExp::fromDouble(U);
    const FloatExp rounding = FloatExp::fromDouble(Rounding), up = FloatExp::fromDouble(Up);
    const FloatExp dcSize = l1(dcx, dcy);
    ExtendedState s;
    while (s.n < imax) {
        const FloatExp ax = two * refX[s.m] + s.dx;
        const FloatExp ay = two * refY[s.m] + s.dy;
        const FloatExp nx = (ax * s.dx - ay * s.dy) + dcx;
        const FloatExp ny = (ax * s.dy + ay * s.dx) + dcy;
        s.error = (s.error * (two * s.zBound + s.error)
                   + rounding * (l1(ax, ay) * l1(s.dx, s.dy) + dcSize + l1(nx, ny))) * up;
        ++s.m;
        ++s.n;
        const FloatExp zx = refX[s.m] + nx;
        const FloatExp zy = refY[s.m] + ny;
        const FloatExp magF = zx * zx + zy * zy;
        const FloatExp zError = (s.error + u * (l1(refX[s.m], refY[s.m]) + l1(zx, zy))) * up;
        const FloatExp zAbs = sqrt(magF);
        const double mag = magF.toDouble();
        const double magError =
            ((two * zAbs + zError) * zError).toDouble() * Up + 4.0 * U * mag + Tiny;
        if (!(mag + magError <= EscapeBound)) {
            escapeDecided(mag, magError, result, s.n);
            result.steps += s.n;
            return false;
        }
        s.zBound = zAbs * up + zError;
        const bool closer = magF < nx * nx + ny * ny;
        if (closer || s.m == last) {
            s.dx = zx;
            s.dy = zy;
            s.error = zError;
            s.m = 0;
            ++(closer ? result.rebases : result.referenceEnds);
        } else {
            s.dx = nx;
            s.dy = ny;
        }
        if (l1(s.dx, s.dy).exponent() >= DoubleDeltaExponent) {
            out = {s.m, s.n, s.dx.toDouble(), s.dy.toDouble(), s.error.toDouble() * Up + Tiny,
                   s.zBound.toDouble() * Up + Tiny};
            result.steps += s.n;
            return true;
        }
    }
    result.count = imax;
    result.steps += s.n;
    return false;
}

void runLanes(const LaneJob &job)
{
#if defined(QUIRL_X86_LANES)
    if (__builtin_cpu_supports("avx2")) {
        runLanesAvx2(job);
        return;
    }
#endif
    runLanesGeneric(job);
}

} // namespace

void perturb(const ReferenceOrbit &reference, const FloatExp *dcx, const FloatExp *dcy,
             int pixels, std::int64_t imax, std::int64_t period, const SkipTable *skips,
             PerturbationResult *results)
{
    // A multiple of a cycle's period is one too: returns at least this many
    // steps apart keep the lanes' stops for the interior test rare.
    constexpr std::int64_t ShortestWatch = 64;
    if (period > 0)
        period *= (ShortestWatch + period - 1) / period;
    LaneJob lanes{reference.x(), reference.y(), reference.last(), imax, {}, results, period, skips};
    for (int k = 0; k < pixels; ++k) {
        results[k] = {};
        LaneState state;
        if (l1(dcx[k], dcy[k]).exponent() < DoubleDeltaExponent && reference.extended()) {
            results[k].extended = true;
            if (!runExtended(reference, dcx[k], dcy[k], imax, results[k], state))
                continue;
        }
        if (state.n >= imax)
            results[k].count = imax;
        else
            lanes.starts.push_back({k, dcx[k].toDouble(), dcy[k].toDouble(), state});
    }
    runLanes(lanes);
}
