#include "deep/perturbation.h"

#include "core/escapetime.h"

#include <cmath>
#include <limits>

// The bound below holds only for the written order of double operations.
#ifdef __FAST_MATH__
#error "the perturbation's error bound must not be built with -ffast-math"
#endif

namespace {

constexpr double U = 0x1p-53;
// Each bracketed expression of a step rounds at most a few times; eight
// units of roundoff on its size cover them with room to spare.
constexpr double Rounding = 8.0 * U;
// The bound's own arithmetic is rounded; this factor keeps it an upper bound.
constexpr double Up = 1.0 + 8.0 * U;
// Absolute rounding in the subnormal range: a few half-spacings a step.
constexpr double Tiny = 16.0 * std::numeric_limits<double>::denorm_min();

struct State
{
    std::int64_t m = 0; // index into the reference
    std::int64_t n = 0; // steps taken
    double dx = 0.0, dy = 0.0;
    double error = 0.0;  // bound on |dz − exact dz|
    double zBound = 0.0; // bound on the exact |z|
};

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
bool escapeDecided(double mag, double errM, PerturbationResult &result, std::int64_t n)
{
    result.count = n;
    result.verdict = mag - errM > EscapeBound ? PerturbationResult::Counted
                                              : PerturbationResult::Unsure;
    return true;
}

// Runs in doubles from `s` to an escape, a doubtful test or imax.
void runDouble(const ReferenceOrbit &reference, double dcx, double dcy, State s,
               std::int64_t imax, PerturbationResult &result)
{
    const double *refX = reference.x();
    const double *refY = reference.y();
    const std::int64_t last = reference.last();
    const double dcSize = l1(dcx, dcy) + Tiny;
    const std::int64_t startN = s.n;
    double dx = s.dx, dy = s.dy, error = s.error, zBound = s.zBound;
    std::int64_t m = s.m, n = s.n;
    while (n < imax) {
        const double ax = 2.0 * refX[m] + dx;
        const double ay = 2.0 * refY[m] + dy;
        const double nx = (ax * dx - ay * dy) + dcx;
        const double ny = (ax * dy + ay * dx) + dcy;
        error = (error * (2.0 * zBound + error)
                 + Rounding * (l1(ax, ay) * l1(dx, dy) + dcSize + l1(nx, ny)) + Tiny) * Up;
        ++m;
        ++n;
        const double zx = refX[m] + nx;
        const double zy = refY[m] + ny;
        const double mag = zx * zx + zy * zy;
        // z's own error: the delta's, the reference's rounding to a double
        // and the sum's.
        const double zError = (error + U * (l1(refX[m], refY[m]) + l1(zx, zy)) + Tiny) * Up;
        const double zAbs = std::sqrt(mag);
        const double magError = ((2.0 * zAbs + zError) * zError + 4.0 * U * mag + Tiny) * Up;
        // NaN anywhere lands here and is doubtful.
        if (!(mag + magError <= EscapeBound)) {
            escapeDecided(mag, magError, result, n);
            result.steps += n - startN;
            return;
        }
        zBound = zAbs * Up + zError;
        const bool closer = mag < nx * nx + ny * ny;
        if (closer || m == last) {
            // Rebasing: z itself becomes the delta against Z(0) = 0.
            dx = zx;
            dy = zy;
            error = zError;
            m = 0;
            ++(closer ? result.rebases : result.referenceEnds);
        } else {
            dx = nx;
            dy = ny;
        }
    }
    result.count = imax;
    result.steps += n - startN;
}

// The same in FloatExp, until the delta has grown into the double range;
// returns the state to go on from in doubles, or nothing once decided.
bool runExtended(const ReferenceOrbit &reference, FloatExp dcx, FloatExp dcy,
                 std::int64_t imax, PerturbationResult &result, State &out)
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

} // namespace

PerturbationResult perturb(const ReferenceOrbit &reference, FloatExp dcx, FloatExp dcy,
                           std::int64_t imax)
{
    PerturbationResult result;
    State state;
    if (l1(dcx, dcy).exponent() < DoubleDeltaExponent && reference.extended()) {
        result.extended = true;
        if (!runExtended(reference, dcx, dcy, imax, result, state))
            return result;
    }
    runDouble(reference, dcx.toDouble(), dcy.toDouble(), state, imax, result);
    return result;
}
