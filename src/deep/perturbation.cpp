#include "deep/perturbation.h"

#include "core/escapetime.h"
#include "deep/lanejob.h"
#include "deep/skipball.h"

#include <algorithm>
#include <bit>
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

// The same delta as 2^k·(wx + i·wy), with w near 1 and E = 2^k·error, so
// that a step away from the reference's near returns takes a few double
// operations instead of FloatExp's. zBound, a bound on the exact |z|, is
// not scaled: there |z| lies close to |Z|, at least 2^-400.
struct ScaledState
{
    std::int64_t m = 0;
    std::int64_t n = 0;
    std::int64_t k = 0;
    double wx = 0.0, wy = 0.0, error = 0.0, zBound = 0.0;
    double vx = 0.0, vy = 0.0; // dc / 2^k
};

// What a run keeps fixed.
struct ExtendedPixel
{
    FloatExp dcx, dcy, dcSize;
};

enum class Outcome { Going, Decided, InDoubles };

double l1(double x, double y)
{
    return std::fabs(x) + std::fabs(y);
}

FloatExp l1(FloatExp x, FloatExp y)
{
    return abs(x) + abs(y);
}

// x / 2^k, exactly.
FloatExp scaledDown(FloatExp x, std::int64_t k)
{
    return {x.m, x.e - k};
}

// A double at least x (x >= 0), also where x lies below the double range.
double above(FloatExp x)
{
    return x.toDouble() * Up + Tiny;
}

// log2 of a positive normal double, rounded down.
std::int64_t exponentOf(double x)
{
    return static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(x) >> 52 & 0x7FF) - 1023;
}

// Of x and y, the one with the larger exponent; 0 only where both are.
const FloatExp &larger(const FloatExp &x, const FloatExp &y)
{
    return y.m != 0.0 && (x.m == 0.0 || x.e < y.e) ? y : x;
}

// A double at least 2^k·x (x >= 0): a scaled size turned back.
double unscaledAbove(double x, std::int64_t k)
{
    return above(FloatExp::normalised(x, k));
}

ScaledState scaled(const ExtendedState &s, const ExtendedPixel &pixel)
{
    ScaledState t{s.m, s.n};
    const FloatExp &dz = larger(s.dx, s.dy);
    t.k = dz.m != 0.0 ? dz.e : larger(pixel.dcx, pixel.dcy).e;
    // Parts far below the larger round in the subnormal range, by less
    // than above()'s Tiny.
    t.wx = scaledDown(s.dx, t.k).toDouble();
    t.wy = scaledDown(s.dy, t.k).toDouble();
    t.error = above(scaledDown(s.error, t.k));
    t.zBound = above(s.zBound);
    t.vx = scaledDown(pixel.dcx, t.k).toDouble();
    t.vy = scaledDown(pixel.dcy, t.k).toDouble();
    return t;
}

ExtendedState extended(const ScaledState &t)
{
    return {t.m, t.n, FloatExp::normalised(t.wx, t.k), FloatExp::normalised(t.wy, t.k),
            FloatExp::normalised(t.error, t.k), FloatExp::fromDouble(t.zBound)};
}

// Ends the run where an escape test was near enough to 5 to be in doubt.
void escapeDecided(double mag, double errM, PerturbationResult &result, std::int64_t n)
{
    result.count = n;
    result.verdict = mag - errM > EscapeBound ? PerturbationResult::Counted
                                              : PerturbationResult::Unsure;
}

// Once the delta has grown into the double range, the lanes go on.
Outcome handOff(const ExtendedState &s, LaneState &out)
{
    out = {s.m, s.n, s.dx.toDouble(), s.dy.toDouble(), above(s.error), above(s.zBound)};
    return Outcome::InDoubles;
}

// One step in FloatExp, as perturbation.h has it, with its rebase.
Outcome extendedStep(const ReferenceOrbit &reference, ExtendedState &s,
                     const ExtendedPixel &pixel, PerturbationResult &result, LaneState &out)
{
    const FloatExp *refX = reference.extendedX();
    const FloatExp *refY = reference.extendedY();
    const FloatExp two = FloatExp::fromDouble(2.0), u = FloatExp::fromDouble(U);
    const FloatExp rounding = FloatExp::fromDouble(Rounding), up = FloatExp::fromDouble(Up);
    const FloatExp ax = two * refX[s.m] + s.dx;
    const FloatExp ay = two * refY[s.m] + s.dy;
    const FloatExp nx = (ax * s.dx - ay * s.dy) + pixel.dcx;
    const FloatExp ny = (ax * s.dy + ay * s.dx) + pixel.dcy;
    s.error = (s.error * (two * s.zBound + s.error)
               + rounding * (l1(ax, ay) * l1(s.dx, s.dy) + pixel.dcSize + l1(nx, ny))) * up;
    ++s.m;
    ++s.n;
    const FloatExp zx = refX[s.m] + nx;
    const FloatExp zy = refY[s.m] + ny;
    const FloatExp magF = zx * zx + zy * zy;
    const FloatExp zError = (s.error + u * (l1(refX[s.m], refY[s.m]) + l1(zx, zy))) * up;
    const FloatExp zAbs = sqrt(magF);
    const double mag = magF.toDouble();
    const double magError = ((two * zAbs + zError) * zError).toDouble() * Up + 4.0 * U * mag + Tiny;
    if (!(mag + magError <= EscapeBound)) {
        escapeDecided(mag, magError, result, s.n);
        return Outcome::Decided;
    }
    s.zBound = zAbs * up + zError;
    const bool closer = magF < nx * nx + ny * ny;
    if (closer || s.m == reference.last()) {
        s.dx = zx;
        s.dy = zy;
        s.error = zError;
        s.m = 0;
        ++(closer ? result.rebases : result.referenceEnds);
    } else {
        s.dx = nx;
        s.dy = ny;
    }
    if (l1(s.dx, s.dy).exponent() >= DoubleDeltaExponent)
        return handOff(s, out);
    return Outcome::Going;
}

// One step in scaled doubles where Z(m) and Z(m + 1) both lie above 2^-400
// and the delta below 2^-900: then z = Z(m + 1) + dz' cannot come closer
// to 0 than dz' (no rebase), and dz' = 2Z·dz + dc leaves out dz², which the
// bound adds. In units of 2^k, with lift >= 2^k turning them back:
//   E' = E·(2|z|⁺ + E·lift) + 8u·(|2Z|·|w| + |v| + |w'|) + |w|²·lift + tiny,
// tiny covering products and parts of v in the subnormal range. z is
// Z(m + 1) itself, off by at most |w'|·lift.
Outcome scaledStep(const ReferenceOrbit &reference, ScaledState &t, PerturbationResult &result)
{
    const double *refX = reference.x();
    const double *refY = reference.y();
    // At least 2^-600, which costs the bound nothing (2^k lies below 2^-840
    // here) and keeps its products out of the subnormal range, where each
    // would take a slow assist of the processor.
    const double lift = FloatExp::twoTo(std::max<std::int64_t>(t.k, -600));
    const double ax = 2.0 * refX[t.m], ay = 2.0 * refY[t.m];
    const double nx = (ax * t.wx - ay * t.wy) + t.vx;
    const double ny = (ax * t.wy + ay * t.wx) + t.vy;
    const double size = l1(t.wx, t.wy), nextSize = l1(nx, ny);
    t.error = (t.error * (2.0 * t.zBound + t.error * lift)
               + Rounding * (l1(ax, ay) * size + l1(t.vx, t.vy) + nextSize) + size * size * lift
               + Tiny) * Up;
    ++t.m;
    ++t.n;
    const double zx = refX[t.m], zy = refY[t.m];
    const double mag = zx * zx + zy * zy;
    const double zError = ((t.error + nextSize) * lift + U * l1(zx, zy) + Tiny) * Up;
    const double zAbs = std::sqrt(mag);
    const double magError = ((2.0 * zAbs + zError) * zError + 4.0 * U * mag + Tiny) * Up;
    if (!(mag + magError <= EscapeBound)) {
        escapeDecided(mag, magError, result, t.n);
        return Outcome::Decided;
    }
    t.zBound = zAbs * Up + zError;
    t.wx = nx;
    t.wy = ny;
    return Outcome::Going;
}

// Whether w lies within 2^±60 and the delta below the double range.
bool withinScale(const ScaledState &t)
{
    const std::int64_t e = exponentOf(l1(t.wx, t.wy));
    return std::abs(e) <= 60 && t.k + e < DoubleDeltaExponent;
}

// Applies the table's longest nodes that fit, in units of 2^k: a node's
// bound is linear in the delta and in dc, so it holds scaled as it does
// unscaled, its radius compared with the delta's size turned back. Stops
// short of imax and before w could leave the double range; returns the
// steps skipped.
std::int64_t skipScaled(const SkipTable &table, const ReferenceOrbit &reference, ScaledState &t,
                        std::int64_t imax, PerturbationResult &result)
{
    constexpr double Largest = 0x1p800;
    const SkipPixel pixel{t.vx, t.vy, (l1(t.vx, t.vy) + Tiny) * Up};
    SkipBall ball{t.wx, t.wy, t.error};
    std::int64_t skipped = 0;
    while (table.nodesAt(t.m) > 0) {
        const double size = ball.size();
        std::int64_t steps = 0;
        const SkipNode *node = table.find(t.m, unscaledAbove(size, t.k), imax - 1 - t.n, steps);
        if (node == nullptr || !(node->sizeA * size + node->sizeB * pixel.size <= Largest))
            break;
        ball = applyNode(*node, ball, pixel, size);
        t.m += steps;
        t.n += steps;
        skipped += steps;
        ++result.skips;
    }
    if (skipped > 0) {
        // |z| at the landing: |Z(m)| and the delta's size, rounding included.
        // The size exactly, not by a lift: a landing may lie where Z is
        // nearer 0 than the delta, and the next step multiplies E by it.
        const double zx = reference.x()[t.m], zy = reference.y()[t.m];
        const double zError =
            (unscaledAbove(ball.error + l1(ball.dx, ball.dy), t.k) + U * l1(zx, zy) + Tiny) * Up;
        t.zBound = std::sqrt(zx * zx + zy * zy) * Up * Up + zError;
        t.wx = ball.dx;
        t.wy = ball.dy;
        t.error = ball.error;
        result.skipped += skipped;
    }
    return skipped;
}

// The same in FloatExp and scaled doubles, until the delta has grown into
// the double range; returns the state to go on from in doubles, or nothing
// once decided.
bool runExtended(const ReferenceOrbit &reference, const SkipTable *skips, FloatExp dcx,
                 FloatExp dcy, std::int64_t imax, PerturbationResult &result, LaneState &out)
{
    constexpr double FarFromZero = 0x1p-400;
    const ExtendedPixel pixel{dcx, dcy, l1(dcx, dcy)};
    const double *refX = reference.x();
    const double *refY = reference.y();
    // Whether the step from m may be a scaled one: Z far from 0 at both
    // ends, and not the step onto the reference's end.
    const auto scalable = [&](std::int64_t m) {
        return l1(refX[m], refY[m]) >= FarFromZero && l1(refX[m + 1], refY[m + 1]) >= FarFromZero
               && m + 1 < reference.last();
    };
    ExtendedState s;
    std::int64_t skipped = 0;
    Outcome outcome = Outcome::Going;
    while (outcome == Outcome::Going && s.n < imax) {
        if (scalable(s.m)) {
            // A stretch of skips and scaled steps, until the reference
            // nears 0 or its end, w leaves 2^±60 or the delta reaches the
            // double range.
            ScaledState t = scaled(s, pixel);
            for (;;) {
                if (skips != nullptr && withinScale(t))
                    skipped += skipScaled(*skips, reference, t, imax, result);
                if (!(t.n < imax && scalable(t.m) && withinScale(t)))
                    break;
                outcome = scaledStep(reference, t, result);
                if (outcome != Outcome::Going)
                    break;
            }
            if (t.n > s.n) {
                s = extended(t);
                if (outcome == Outcome::Going && l1(s.dx, s.dy).exponent() >= DoubleDeltaExponent)
                    outcome = handOff(s, out);
                continue;
            }
        }
        // Near a return of Z to 0, at the reference's end, and for a delta
        // of 0 (the centre of a view of odd size), which has no scale.
        outcome = extendedStep(reference, s, pixel, result, out);
    }
    if (outcome == Outcome::Going && s.n >= imax)
        result.count = imax;
    result.steps += s.n - skipped;
    return outcome == Outcome::InDoubles;
}

struct LaneBuild
{
    const char *name;
    void (*run)(const LaneJob &);
};

// The widest lanes this processor runs.
LaneBuild laneBuild()
{
#if defined(QUIRL_X86_LANES)
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl")
        && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw"))
        return {"avx512", runLanesAvx512};
    if (__builtin_cpu_supports("avx2"))
        return {"avx2", runLanesAvx2};
#endif
    return {"generic", runLanesGeneric};
}

void runLanes(const LaneJob &job)
{
    laneBuild().run(job);
}

} // namespace

const char *laneBuildName()
{
    return laneBuild().name;
}

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
            if (!runExtended(reference, skips, dcx[k], dcy[k], imax, results[k], state))
                continue;
        }
        if (state.n >= imax)
            results[k].count = imax;
        else
            lanes.starts.push_back({k, dcx[k].toDouble(), dcy[k].toDouble(), state});
    }
    runLanes(lanes);
}
