#include "deep/interiortest.h"

#include "core/escapetime.h"
#include "deep/skipball.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#ifdef __FAST_MATH__
#error "the interior test's bounds must not be built with -ffast-math"
#endif

namespace {

using namespace DeepBound;

double l1(double x, double y)
{
    return std::fabs(x) + std::fabs(y);
}

// Skips what the skip table's nodes take of the next steps (at most steps
// of them, landing before imax): a node's bound holds for every point of
// the ball, and no point of it escapes on the way. Returns the steps skipped.
std::int64_t ballSkips(const LaneJob &job, double dcx, double dcy, LaneState &s, std::int64_t steps)
{
    const std::int64_t room = std::min(steps, job.imax - 1 - s.n);
    SkipBall ball{s.dx, s.dy, s.error};
    std::int64_t skips = 0;
    const std::int64_t skipped =
        skipNodes(job, {dcx, dcy, (l1(dcx, dcy) + Tiny) * Up}, room, s.m, ball, skips);
    if (skipped > 0) {
        s.n += skipped;
        s.dx = ball.dx;
        s.dy = ball.dy;
        s.error = ball.error;
        s.zBound = landingBound(job.refX[s.m], job.refY[s.m], ball);
    }
    return skipped;
}

// Steps s as the lanes do (and skips where they would), its error bound the
// ball's radius; false where an escape test is not decided "stays" (or n
// reaches imax).
bool ballSteps(const LaneJob &job, double dcx, double dcy, LaneState &s, std::int64_t steps)
{
    const double dcSize = l1(dcx, dcy) + Tiny;
    for (std::int64_t k = 0; k < steps; ++k) {
        if (job.skips != nullptr) {
            k += ballSkips(job, dcx, dcy, s, steps - k);
            if (k == steps)
                break;
        }
        const double ax = 2.0 * job.refX[s.m] + s.dx;
        const double ay = 2.0 * job.refY[s.m] + s.dy;
        const double nx = (ax * s.dx - ay * s.dy) + dcx;
        const double ny = (ax * s.dy + ay * s.dx) + dcy;
        const double error = (s.error * (2.0 * s.zBound + s.error)
                              + Rounding * (l1(ax, ay) * l1(s.dx, s.dy) + dcSize + l1(nx, ny))
                              + Tiny) * Up;
        ++s.m;
        ++s.n;
        const double zx = job.refX[s.m] + nx;
        const double zy = job.refY[s.m] + ny;
        const double mag = zx * zx + zy * zy;
        const double zError = (error + U * (l1(job.refX[s.m], job.refY[s.m]) + l1(zx, zy)) + Tiny) * Up;
        const double zAbs = std::sqrt(mag);
        const double magError = ((2.0 * zAbs + zError) * zError + 4.0 * U * mag + Tiny) * Up;
        if (!(mag + magError <= EscapeBound) || s.n >= job.imax)
            return false;
        s.zBound = zAbs * Up + zError;
        const bool restart = mag < nx * nx + ny * ny || s.m == job.last;
        s.dx = restart ? zx : nx;
        s.dy = restart ? zy : ny;
        s.error = restart ? zError : error;
        s.m = restart ? 0 : s.m;
    }
    return true;
}

// The containment test for B0 of radius R around Z(m) + dz + shift, over
// the given number of steps.
bool contains(const LaneJob &job, double dcx, double dcy, const LaneState &start,
              std::complex<double> shift, double radius, std::int64_t steps)
{
    LaneState s = start;
    s.dx = start.dx + shift.real();
    s.dy = start.dy + shift.imag();
    // |c − dz| from the rounded difference, which is off by u of itself.
    const double moved = (l1(s.dx - start.dx, s.dy - start.dy) * (1.0 + 2.0 * U) + Tiny) * Up;
    radius = std::max(radius, (moved + start.error) * Up);
    s.error = radius;
    // Points of B0 lie within 2R of the exact z(n), which zBound bounds.
    s.zBound = (start.zBound + 2.0 * radius) * Up;
    const LaneState centre = s;
    if (!ballSteps(job, dcx, dcy, s, steps))
        return false;
    return (orbitDistance(job, centre, s) + s.error) * Up <= radius;
}

} // namespace

double orbitDistance(const LaneJob &job, const LaneState &a, const LaneState &b)
{
    const double zx = job.refX[b.m] - job.refX[a.m], zy = job.refY[b.m] - job.refY[a.m];
    const double dx = b.dx - a.dx, dy = b.dy - a.dy;
    const double sx = zx + dx, sy = zy + dy;
    // Each of the three operations a component rounds by at most u of its result.
    return (l1(sx, sy) + 2.0 * U * (l1(zx, zy) + l1(dx, dy) + l1(sx, sy)) + Tiny) * Up;
}

void InteriorWatch::start(std::int64_t n, std::int64_t period)
{
    m_observed = 0;
    m_wait = 0;
    m_failures = 0;
    m_due = (std::max(n / period, FirstPeriods) + 1) * period;
}

// The fewest periods whose returns close in, and the disk to test them
// with; none where no test is worth its steps yet.
InteriorWatch::Ball InteriorWatch::choose(const LaneJob &job, const LaneState &state,
                                          const std::complex<double> *steps) const
{
    const std::int64_t seen = m_observed;
    // A disk not small against |z| grows by its own square near 0 and
    // fails: no test until the returns have closed in further. The disk's
    // radius is Margin·|shift| + 2E, so this much is left for the shift.
    const double room = state.zBound / NearZero - 2.0 * state.error;
    if (!(room > 0.0))
        return {};
    for (int q = 1; q <= MaxCycle && 2 * q <= seen; ++q) {
        if (state.n + q * job.period >= job.imax)
            break;
        // The last q periods multiplied the step from one return to the q-th
        // next by about the q-cycle's multiplier where the orbit closes in
        // on one. Squares first: most returns are far from closing in.
        const std::complex<double> step = steps[q], before = m_steps[(seen - q) % MaxCycle][q];
        const double stepSquare = std::norm(step), beforeSquare = std::norm(before);
        if (!(stepSquare < MaxRatio * MaxRatio * beforeSquare))
            continue;
        // The later steps sum to about step·r / (1 − r), r = step / before,
        // that is step² / (before − step): where the cycle's point lies. Its
        // size first, in squares: most returns fail here, and a quotient
        // and a root are dear.
        const std::complex<double> gap = before - step;
        const double gapSquare = std::norm(gap);
        if (!(Margin * Margin * stepSquare * stepSquare <= room * room * gapSquare))
            continue;
        const double radius = Margin * stepSquare / std::sqrt(gapSquare) + 2.0 * state.error;
        if (radius * NearZero <= state.zBound)
            return {q, step * step * std::conj(gap) / gapSquare, radius};
    }
    return {};
}

bool InteriorWatch::observe(const LaneJob &job, double dcx, double dcy, const LaneState &state)
{
    if (m_observed > 0 && m_due != state.n)
        m_observed = 0;
    m_due = state.n + job.period;
    // z − z' as (Z − Z') + (dz − dz'), rounded: only to choose.
    const Return now{{job.refX[state.m], job.refY[state.m]}, {state.dx, state.dy}};
    std::complex<double> steps[MaxCycle + 1];
    for (std::int64_t q = 1; q <= std::min<std::int64_t>(m_observed, MaxCycle); ++q) {
        const Return &before = m_returns[(m_observed - q) % MaxCycle];
        steps[q] = (now.reference - before.reference) + (now.delta - before.delta);
    }
    const Ball ball = choose(job, state, steps);
    const std::int64_t slot = m_observed % MaxCycle;
    m_returns[slot] = now;
    std::copy(std::begin(steps), std::end(steps), m_steps[slot]);
    ++m_observed;
    if (ball.periods == 0 || m_wait-- > 0)
        return false;
    if (contains(job, dcx, dcy, state, ball.shift, ball.radius, ball.periods * job.period))
        return true;
    // Tests that fail grow sparser: a pixel that never settles pays little.
    m_wait = (std::int64_t(1) << std::min<std::int64_t>(m_failures, 20)) - 1;
    ++m_failures;
    return false;
}
