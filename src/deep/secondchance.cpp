#include "deep/secondchance.h"

#include "core/escapetime.h"
#include "deep/lanejob.h"
#include "deep/referenceorbit.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

// The bound holds only for the written order of operations.
#ifdef __FAST_MATH__
#error "the second chance's error bound must not be built with -ffast-math"
#endif

namespace {

using DeepBound::U;
using DeepBound::Up;

// A double-double sum errs by at most 3u² + 13u³ of its result, a product
// with its sums (dotPlus) by 26u² of the operands' sizes (doubledouble.h);
// the step's rounding comes to some 29u² of |2Z + dz|·|dz|, 2u² of
// |Z(m)|·|dz| and 6u² of |dc| (see docs/deepzoom.md for the count). In
// units of 16u², with room to spare.
constexpr double Rounding = 16.0 * U * U;
// Absolute error where results fall below 2^-969: each of a step's some
// 150 double operations adds at most 2^-1075.
constexpr double Tiny = 0x1p-1064;

struct Complex
{
    DoubleDouble x, y;
};

double l1(const Complex &z)
{
    return magnitude(z.x) + magnitude(z.y);
}

// A pixel's state: its delta dz against Z(m) after n steps, E bounding
// |dz − exact dz|, and a bound on the exact |z|.
struct Ball
{
    std::int64_t m = 0;
    std::int64_t n = 0;
    Complex dz;
    double error = 0.0;
    double zBound = 0.0;
};

// |z|² − 5 in doubles and the slack of that subtraction: mag.hi − 5 is
// exact where it matters (Sterbenz) and rounds by at most u elsewhere, the
// sum with mag.lo by u.
PerturbationResult::Verdict escapeVerdict(DoubleDouble mag, double magError, bool &escaped)
{
    const double t = mag.hi - EscapeBound;
    const double d = t + mag.lo;
    const double margin = (magError + 2.0 * U * (std::fabs(t) + std::fabs(d))) * Up;
    escaped = d - margin > 0.0;
    // NaN anywhere fails both.
    return escaped || d + margin <= 0.0 ? PerturbationResult::Counted
                                        : PerturbationResult::Unsure;
}

} // namespace

struct SecondChance::Orbit
{
    Orbit(mpfr_srcptr x, mpfr_srcptr y, std::int64_t pixelSteps, std::int64_t steps)
        : cx(mpfr_get_prec(x)), cy(mpfr_get_prec(y)), imax(pixelSteps), maxSteps(steps)
    {
        mpfr_set(cx.get(), x, MPFR_RNDN);
        mpfr_set(cy.get(), y, MPFR_RNDN);
    }

    MpReal cx, cy;
    std::int64_t imax;     // the pixels'
    std::int64_t maxSteps; // the reference's at most
    std::once_flag once;
    std::vector<DoubleDouble> x, y; // Z(0) … Z(last)
};

SecondChance::SecondChance(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t imax,
                           std::int64_t maxSteps)
    : m_orbit(std::make_unique<Orbit>(cx, cy, imax,
                                      std::min(imax, std::max<std::int64_t>(maxSteps, 1))))
{
}

SecondChance::SecondChance(SecondChance &&) noexcept = default;
SecondChance::~SecondChance() = default;

// The reference's own numbers, each step kept as two double-doubles.
void SecondChance::iterate(Orbit &orbit)
{
    iterateReference(orbit.cx.get(), orbit.cy.get(), orbit.maxSteps,
                     [&orbit](mpfr_srcptr x, mpfr_srcptr y) {
                         orbit.x.push_back(toDoubleDouble(x));
                         orbit.y.push_back(toDoubleDouble(y));
                     });
}

const SecondChance::Orbit &SecondChance::orbit() const
{
    Orbit &orbit = *m_orbit;
    std::call_once(orbit.once, [&orbit] { iterate(orbit); });
    return orbit;
}

namespace {

// What a pixel's run keeps fixed.
struct Pixel
{
    Complex dc;
    double dcSize = 0.0;
    // Bounds the reference's own rounding at P bits, relative.
    double referenceRounding = 0.0;
};

// What one step gives besides the new state.
struct StepResult
{
    Complex nz;          // the new delta dz'
    double zx = 0.0, zy = 0.0; // Z(m + 1) + dz' from the high parts, in doubles
    double zError = 0.0; // bound on |z − exact z|
    double mag = 0.0;    // |z|²
    double magError = 0.0;
};

double l1Low(const Complex &z)
{
    return std::fabs(z.x.lo) + std::fabs(z.y.lo);
}

// One step of the ball: dz' = (2·Z(m) + dz)·dz + dc and its bound, then
// z = Z(m + 1) + dz' in doubles and the bounds on its error and on |z|²'s.
// Inlined into each build of the run, so that each has its own fused
// multiply-adds.
[[gnu::always_inline]] inline void step(Ball &s, const Complex &zm, const Complex &next,
                                        const Pixel &pixel, StepResult &r)
{
    const Complex &dc = pixel.dc;
    const Complex a{twice(zm.x) + s.dz.x, twice(zm.y) + s.dz.y};
    r.nz = {dotPlus(a.x, s.dz.x, -a.y, s.dz.y, dc.x), dotPlus(a.x, s.dz.y, a.y, s.dz.x, dc.y)};
    // The old error through the step (e·(2z + e)); the rounding of the
    // step's operations, of Z(m) (inside |2Z + dz| or beside it) and of dc
    // to double-doubles; and the reference's own rounding at P bits, by
    // which Z(m + 1) misses Z(m)² + C.
    const double size = l1(s.dz), zmSize = l1(zm), nextSize = l1(next);
    s.error = (s.error * (2.0 * s.zBound + s.error)
               + Rounding * ((2.0 * l1(a) + zmSize) * size + pixel.dcSize)
               + pixel.referenceRounding * (4.0 * zmSize * zmSize + nextSize) + Tiny) * Up;
    // The escape test needs z only to some 50 bits: the high parts' sum,
    // off by the low parts, Z(m + 1)'s rounding to a double-double and the
    // sum's own rounding besides E'.
    r.zx = next.x.hi + r.nz.x.hi;
    r.zy = next.y.hi + r.nz.y.hi;
    r.zError = (s.error + U * U * nextSize + l1Low(next) + l1Low(r.nz)
                + U * (std::fabs(r.zx) + std::fabs(r.zy)) + Tiny) * Up;
    r.mag = r.zx * r.zx + r.zy * r.zy;
    const double zAbs = std::sqrt(r.mag) * Up;
    // Two products and a sum, each off by u of its result.
    r.magError = ((2.0 * zAbs + r.zError) * r.zError + 4.0 * U * r.mag + Tiny) * Up;
    s.zBound = zAbs * Up + r.zError;
}

// z = Z(m + 1) + dz' as a double-double, and the bound on its error from
// E' = error: what a rebase needs, and a trace.
[[gnu::always_inline]] inline double exactSum(const Complex &next, const Complex &nz, double error,
                                              Complex &z)
{
    z = {next.x + nz.x, next.y + nz.y};
    return (error + Rounding * (l1(next) + l1(z)) + Tiny) * Up;
}

// The run itself, inlined into runBallFma and runBallPlain.
[[gnu::always_inline]] inline PerturbationResult runBall(const DoubleDouble *refX, const DoubleDouble *refY, std::int64_t last,
                           std::int64_t imax, const Pixel &pixel,
                           std::vector<SecondChance::Step> *trace)
{
    PerturbationResult result;
    result.count = imax;
    Ball s;
    Complex zm{refX[0], refY[0]};
    while (s.n < imax) {
        StepResult r;
        step(s, zm, {refX[s.m + 1], refY[s.m + 1]}, pixel, r);
        ++s.m;
        ++s.n;
        if (trace != nullptr) {
            Complex z;
            const double zError = exactSum({refX[s.m], refY[s.m]}, r.nz, s.error, z);
            trace->push_back({s.n, z.x, z.y, zError, r.zx, r.zy, r.zError});
        }
        // At imax the count is imax whichever way the test went.
        if (s.n == imax) {
            result.verdict = PerturbationResult::Counted;
            break;
        }
        bool escaped = false;
        result.verdict = escapeVerdict({r.mag, 0.0}, r.magError, escaped);
        if (escaped || result.verdict == PerturbationResult::Unsure) {
            result.count = s.n;
            break;
        }
        // Rebasing, and the restart at the reference's end: z itself
        // becomes the delta against Z(0) = 0. Any test is sound here; the
        // one of the lanes keeps the deltas small.
        const bool closer = r.mag < r.nz.x.hi * r.nz.x.hi + r.nz.y.hi * r.nz.y.hi;
        if (closer || s.m == last) {
            s.error = exactSum({refX[s.m], refY[s.m]}, r.nz, s.error, s.dz);
            s.m = 0;
            ++(closer ? result.rebases : result.referenceEnds);
        } else {
            s.dz = r.nz;
        }
        zm = {refX[s.m], refY[s.m]};
    }
    result.steps = s.n;
    return result;
}

// Built twice on x86-64: where the processor has FMA, std::fma is one
// instruction instead of a call to the library's. The processor is asked
// at run time, not by an ifunc, which the sanitizers' start-up would meet
// before they are ready.
#if defined(__x86_64__)
__attribute__((target("fma"))) PerturbationResult
runBallFma(const DoubleDouble *refX, const DoubleDouble *refY, std::int64_t last,
           std::int64_t imax, const Pixel &pixel, std::vector<SecondChance::Step> *trace)
{
    return runBall(refX, refY, last, imax, pixel, trace);
}
#endif

PerturbationResult runBallPlain(const DoubleDouble *refX, const DoubleDouble *refY,
                                std::int64_t last, std::int64_t imax, const Pixel &pixel,
                                std::vector<SecondChance::Step> *trace)
{
    return runBall(refX, refY, last, imax, pixel, trace);
}

} // namespace

PerturbationResult SecondChance::run(DoubleDouble dcx, DoubleDouble dcy,
                                     std::vector<Step> *trace) const
{
    const Orbit &orbit = this->orbit();
    const mpfr_prec_t precision = std::max(orbit.cx.precision(), orbit.cy.precision());
    // 2^(1 − P): each of the reference's roundings at P bits, with room for
    // the bound's use of the double-doubles' sizes.
    const double referenceRounding = std::ldexp(1.0, int(1 - precision));
    Pixel pixel{{dcx, dcy}, 0.0, referenceRounding};
    pixel.dcSize = l1(pixel.dc);
    if (!std::isnormal(referenceRounding) || !std::isfinite(pixel.dcSize)) {
        PerturbationResult doubt;
        doubt.verdict = PerturbationResult::Unsure;
        return doubt;
    }
    const std::int64_t last = std::int64_t(orbit.x.size()) - 1;
#if defined(__x86_64__)
    if (__builtin_cpu_supports("fma"))
        return runBallFma(orbit.x.data(), orbit.y.data(), last, orbit.imax, pixel, trace);
#endif
    return runBallPlain(orbit.x.data(), orbit.y.data(), last, orbit.imax, pixel, trace);
}
