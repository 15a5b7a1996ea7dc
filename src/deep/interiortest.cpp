#include "deep/interiortest.h"

#include "core/escapetime.h"
#include "deep/skipball.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

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
std::int64_t ballSkips(const LaneJob &job, double dcx, double dcy, LaneState &s, std::int64_t steps,
                       std::complex<double> &derivative)
{
    const std::int64_t room = std::min(steps, job.imax - 1 - s.n);
    SkipBall ball{s.dx, s.dy, s.error};
    std::int64_t skips = 0;
    const std::int64_t skipped = skipNodes(job, {dcx, dcy, (l1(dcx, dcy) + Tiny) * Up}, room,
                                           s.m, ball, skips, &derivative);
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
// reaches imax). derivative is multiplied by about the steps' derivative
// at the delta, only to aim.
bool ballSteps(const LaneJob &job, double dcx, double dcy, LaneState &s, std::int64_t steps,
               std::complex<double> &derivative)
{
    const double dcSize = l1(dcx, dcy) + Tiny;
    for (std::int64_t k = 0; k < steps; ++k) {
        if (job.skips != nullptr) {
            k += ballSkips(job, dcx, dcy, s, steps - k, derivative);
            if (k == steps)
                break;
        }
        const double ax = 2.0 * job.refX[s.m] + s.dx;
        const double ay = 2.0 * job.refY[s.m] + s.dy;
        derivative *= std::complex<double>(ax + s.dx, ay + s.dy);
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

// A disk of the given radius around Z(m) + dz + shift, run through the
// given steps: its centre at the start and the ball it lands in.
struct DiskRun
{
    LaneState centre, end;
    std::complex<double> derivative = 1.0; // about that of the steps at the centre
    bool stays = false; // every escape test decided "stays"
};

DiskRun runDisk(const LaneJob &job, double dcx, double dcy, const LaneState &start,
                std::complex<double> shift, double radius, std::int64_t steps)
{
    DiskRun run{start, start};
    LaneState &s = run.centre;
    s.dx = start.dx + shift.real();
    s.dy = start.dy + shift.imag();
    s.error = radius;
    // The first step multiplies the radius by twice this bound on |Z(m) + c|:
    // from the centre itself, as at a skip's landing, not as the pixel's |z|
    // plus |c − dz|, which near 0 would add a tenth to the disk's growth.
    s.zBound = landingBound(job.refX[s.m], job.refY[s.m], {s.dx, s.dy, 0.0});
    run.end = s;
    run.stays = ballSteps(job, dcx, dcy, run.end, steps, run.derivative);
    return run;
}

// The centre's image minus the centre, rounded: only to aim the next disk.
std::complex<double> movement(const LaneJob &job, const DiskRun &run)
{
    return orbitPoint(job, run.end) - orbitPoint(job, run.centre);
}

// The landing ball strictly inside the disk: f^s maps the disk into itself.
bool landsInside(const LaneJob &job, const DiskRun &run)
{
    return run.stays && (orbitDistance(job, run.centre, run.end) + run.end.error) * Up < run.centre.error;
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
    m_failedShift = std::numeric_limits<double>::infinity();
    m_due = (std::max(n / period, FirstPeriods) + 1) * period;
}

// The fewest periods whose returns close in, and where their cycle's point
// seems to lie; none where no test is worth its steps yet.
InteriorWatch::Ball InteriorWatch::choose(const LaneJob &job, const LaneState &state,
                                          const std::complex<double> *steps) const
{
    const std::int64_t seen = m_observed;
    // Where the orbit closes in on a cycle of q periods, the step from a
    // return to the q-th next shrinks towards 0, while the steps over fewer
    // periods stay about as large as the cycle's points lie apart. So q is
    // the fewest periods whose step is about the smallest.
    int cycles = 0; // the q that have a step to compare and fit before imax
    while (cycles < MaxCycle && 2 * (cycles + 1) <= seen
           && state.n + (cycles + 1) * job.period < job.imax)
        ++cycles;
    if (cycles == 0)
        return {};
    double smallest = std::numeric_limits<double>::infinity();
    for (int k = 1; k <= cycles; ++k)
        smallest = std::min(smallest, std::norm(steps[k]));
    int q = 1;
    while (!(std::norm(steps[q]) <= Nearest * smallest) && q < cycles)
        ++q;
    // The last q periods multiplied that step by about the cycle's
    // multiplier. Squares first: most returns are far from closing in.
    const std::complex<double> step = steps[q], before = m_steps[(seen - q) % MaxCycle][q];
    const double stepSquare = std::norm(step), beforeSquare = std::norm(before);
    // Near a cycle's centre (multiplier about 0) the returns have met within
    // roundings, and their quotient is noise: the disk goes around z itself.
    if (stepSquare <= Settled * Settled * state.zBound * state.zBound)
        return {q, {}, {}};
    if (!(stepSquare < MaxRatio * MaxRatio * beforeSquare))
        return {};
    // The later steps sum to about step·r / (1 − r), r = step / before,
    // that is step² / (before − step): where the cycle's point lies. It
    // need only be a start for proves(). In squares, as most returns fail here.
    const std::complex<double> gap = before - step;
    const double gapSquare = std::norm(gap);
    const double farthest = FarthestShift * state.zBound;
    if (!(stepSquare * stepSquare <= farthest * farthest * gapSquare))
        return {};
    return {q, step * step * std::conj(gap) / gapSquare, step * std::conj(before) / beforeSquare};
}

// The estimate is off by about |shift|² / |z| (the returns close in
// linearly only up to their own square), and a disk that holds the cycle's
// point must reach |1 − λ| / (1 − |λ|) times that far. Each disk's centre
// then aims the next by Newton's method: it moves in q periods by about
// (D − 1) times its distance from the cycle's point, D the derivative of
// the q periods there. The disk grows by about |D| plus its curvature times
// its radius; the next radius spends half of the room 1 − |D| on the latter.
bool InteriorWatch::proves(const LaneJob &job, double dcx, double dcy, const LaneState &state,
                           const Ball &ball) const
{
    const std::int64_t steps = ball.periods * job.period;
    const double largest = state.zBound / NearZero, smallest = Settled * state.zBound;
    const double guess = Guess * std::norm(ball.shift) / state.zBound * std::abs(1.0 - ball.ratio)
                         / (1.0 - std::abs(ball.ratio));
    double radius = std::clamp(guess, smallest, largest);
    std::complex<double> shift = ball.shift;
    for (int attempt = 1;; ++attempt) {
        const DiskRun run = runDisk(job, dcx, dcy, state, shift, radius, steps);
        if (landsInside(job, run))
            return true;
        // Where the q periods grow a centre's neighbourhood by more than
        // MaxGrowth, no attracting cycle is near; up to it, Newton's next
        // centre may reach one.
        const double contraction = std::abs(run.derivative);
        if (!run.stays || attempt == Attempts || !(contraction < MaxGrowth))
            return false;
        shift += movement(job, run) / (1.0 - run.derivative);
        if (contraction < 1.0) {
            const double curvature = (run.end.error / radius - contraction) / radius;
            radius = std::clamp(curvature > 0.0 ? (1.0 - contraction) / (2.0 * curvature)
                                                : 2.0 * radius,
                                smallest, largest);
        }
    }
}

bool InteriorWatch::observe(const LaneJob &job, double dcx, double dcy, const LaneState &state)
{
    if (m_observed > 0 && m_due != state.n)
        m_observed = 0;
    m_due = state.n + job.period;
    const OrbitPoint now = orbitPoint(job, state);
    std::complex<double> steps[MaxCycle + 1];
    for (std::int64_t q = 1; q <= std::min<std::int64_t>(m_observed, MaxCycle); ++q)
        steps[q] = now - m_returns[(m_observed - q) % MaxCycle];
    const Ball ball = choose(job, state, steps);
    const std::int64_t slot = m_observed % MaxCycle;
    m_returns[slot] = now;
    std::copy(std::begin(steps), std::end(steps), m_steps[slot]);
    ++m_observed;
    // A test waits until the returns have closed in to half the distance
    // of the last one that failed: a pixel that never settles pays little.
    if (ball.periods == 0 || !(std::norm(ball.shift) < m_failedShift / 4.0))
        return false;
    if (proves(job, dcx, dcy, state, ball))
        return true;
    m_failedShift = std::norm(ball.shift);
    return false;
}
