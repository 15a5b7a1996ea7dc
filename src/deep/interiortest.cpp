#include "deep/interiortest.h"

#include "core/escapetime.h"
#include "deep/skipball.h"

#include <algorithm>
#include <cmath>

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

// The containment test for B0 of radius R around the state's centre.
bool contains(const LaneJob &job, double dcx, double dcy, const LaneState &start, double radius)
{
    LaneState s = start;
    s.error = radius;
    // Points of B0 lie within R + E of the exact z(n), which zBound bounds.
    s.zBound = (start.zBound + 2.0 * radius) * Up;
    if (!ballSteps(job, dcx, dcy, s, job.period))
        return false;
    return (orbitDistance(job, start, s) + s.error) * Up <= radius;
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
    *this = {};
    m_due = (std::max(n / period, FirstPeriods) + 1) * period;
}

bool InteriorWatch::observe(const LaneJob &job, double dcx, double dcy, const LaneState &state)
{
    m_due = state.n + job.period;
    const bool consecutive = m_seen && m_previous.n + job.period == state.n;
    const double reach = consecutive ? orbitDistance(job, m_previous, state) : 0.0;
    // How much the last period shrank the step from one return to the next:
    // about the cycle's multiplier where the orbit closes in on one.
    const double ratio = m_reach > 0.0 ? reach / m_reach : 1.0;
    m_previous = state;
    m_seen = true;
    m_reach = reach;
    if (!(ratio < MaxRatio) || m_wait-- > 0)
        return false;
    // The next return lands within about ratio · reach, and a disk of
    // radius R comes back within that plus ratio · R.
    const double radius = std::max(2.0 * ratio * reach / (1.0 - ratio), 2.0 * state.error);
    // A disk not small against |z| grows by its own square near 0 and
    // fails: no test until the returns have closed in further.
    if (!(radius * NearZero <= state.zBound))
        return false;
    if (contains(job, dcx, dcy, state, radius))
        return true;
    // Tests that fail grow sparser: a pixel that never settles pays little.
    m_wait = (std::int64_t(1) << std::min<std::int64_t>(m_failures, 20)) - 1;
    ++m_failures;
    return false;
}
