#include "deep/secondchance.h"

#include "core/escapetime.h"
#include "deep/lanejob.h"

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

// Each double-double operation errs by less than 8u² of its result
// (doubledouble.h); a step's bracketed expressions chain at most three of
// them, whose errors the bound sums with a factor 8u² each on the sizes
// they act on (see docs/deepzoom.md for the count).
constexpr double Rounding = 8.0 * U * U;
// Absolute error where results fall below 2^-969: each of the step's some
// 100 double operations adds at most 2^-1075.
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

// The reference's operations (referenceorbit.cpp), each step kept as two
// double-doubles.
void SecondChance::iterate(Orbit &orbit)
{
    const mpfr_prec_t precision = std::max(orbit.cx.precision(), orbit.cy.precision());
    MpReal x(precision), y(precision), xx(precision), yy(precision), m(precision), t(precision);
    const auto keep = [&] {
        orbit.x.push_back(toDoubleDouble(x.get()));
        orbit.y.push_back(toDoubleDouble(y.get()));
    };
    keep();
    for (std::int64_t n = 0; n < orbit.maxSteps && mpfr_cmp_d(m.get(), EscapeBound) <= 0; ++n) {
        mpfr_sub(t.get(), xx.get(), yy.get(), MPFR_RNDN);
        mpfr_mul_2ui(x.get(), x.get(), 1, MPFR_RNDN);
        mpfr_mul(y.get(), x.get(), y.get(), MPFR_RNDN);
        mpfr_add(y.get(), y.get(), orbit.cy.get(), MPFR_RNDN);
        mpfr_add(x.get(), t.get(), orbit.cx.get(), MPFR_RNDN);
        mpfr_sqr(xx.get(), x.get(), MPFR_RNDN);
        mpfr_sqr(yy.get(), y.get(), MPFR_RNDN);
        mpfr_add(m.get(), xx.get(), yy.get(), MPFR_RNDN);
        keep();
    }
}

const SecondChance::Orbit &SecondChance::orbit() const
{
    Orbit &orbit = *m_orbit;
    std::call_once(orbit.once, [&orbit] { iterate(orbit); });
    return orbit;
}

std::int64_t SecondChance::referenceSteps() const
{
    return std::int64_t(orbit().x.size());
}

namespace {

// One step of the ball: dz' = (2·Z(m) + dz)·dz + dc and its bound, then
// z = Z(m + 1) + dz' and the bound on its error. Returns |z|² and sets
// magError to that square's bound.
DoubleDouble step(Ball &s, const Complex &zm, const Complex &next, const Complex &dc,
                  double dcSize, Complex &nz, Complex &z, double &zError, double &magError)
{
    const Complex a{twice(zm.x) + s.dz.x, twice(zm.y) + s.dz.y};
    nz = {(a.x * s.dz.x - a.y * s.dz.y) + dc.x, (a.x * s.dz.y + a.y * s.dz.x) + dc.y};
    // The old error through the step (e·(2z + e)); the rounding of the
    // step's operations, of Z(m) (inside |2Z + dz| or beside it: Z(m) is
    // added too) and of dc to double-doubles.
    const double size = l1(s.dz);
    s.error = (s.error * (2.0 * s.zBound + s.error)
               + Rounding * ((l1(a) + l1(zm)) * size + dcSize + l1(nz)) + Tiny) * Up;
    z = {next.x + nz.x, next.y + nz.y};
    zError = (s.error + Rounding * (l1(next) + l1(z)) + Tiny) * Up;
    const DoubleDouble mag = z.x * z.x + z.y * z.y;
    const double zAbs = std::sqrt(std::fabs(mag.hi)) * Up;
    magError = ((2.0 * zAbs + zError) * zError + Rounding * std::fabs(mag.hi) + Tiny) * Up;
    s.zBound = zAbs * Up + zError;
    return mag;
}

} // namespace

PerturbationResult SecondChance::run(DoubleDouble dcx, DoubleDouble dcy) const
{
    const Orbit &orbit = this->orbit();
    const std::int64_t last = std::int64_t(orbit.x.size()) - 1;
    const Complex dc{dcx, dcy};
    const double dcSize = l1(dc);
    PerturbationResult result;
    result.count = orbit.imax;
    Ball s;
    Complex zm{orbit.x[0], orbit.y[0]};
    while (s.n < orbit.imax) {
        const Complex next{orbit.x[s.m + 1], orbit.y[s.m + 1]};
        Complex nz, z;
        double zError = 0.0, magError = 0.0;
        const DoubleDouble mag = step(s, zm, next, dc, dcSize, nz, z, zError, magError);
        ++s.m;
        ++s.n;
        // At imax the count is imax whichever way the test went.
        if (s.n == orbit.imax) {
            result.verdict = PerturbationResult::Counted;
            break;
        }
        bool escaped = false;
        result.verdict = escapeVerdict(mag, magError, escaped);
        if (escaped || result.verdict == PerturbationResult::Unsure) {
            result.count = s.n;
            break;
        }
        // Rebasing, and the restart at the reference's end: z itself
        // becomes the delta against Z(0) = 0. Any test is sound here; the
        // one of the lanes keeps the deltas small.
        const bool closer = mag.hi < nz.x.hi * nz.x.hi + nz.y.hi * nz.y.hi;
        if (closer || s.m == last) {
            s.dz = z;
            s.error = zError;
            s.m = 0;
            ++(closer ? result.rebases : result.referenceEnds);
        } else {
            s.dz = nz;
        }
        zm = {orbit.x[s.m], orbit.y[s.m]};
    }
    result.steps = s.n;
    return result;
}
