#include "deep/perturbation.h"

#include "core/escapetime.h"

#include <cmath>
#include <limits>
#include <vector>

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
void escapeDecided(double mag, double errM, PerturbationResult &result, std::int64_t n)
{
    result.count = n;
    result.verdict = mag - errM > EscapeBound ? PerturbationResult::Counted
                                              : PerturbationResult::Unsure;
}

// One pixel in doubles: its state and its c − C.
struct Lane
{
    State s;
    double dcx = 0.0, dcy = 0.0, dcSize = 0.0;
    int pixel = -1; // -1: the lane is idle
    std::int64_t startN = 0;
    std::int64_t rebases = 0, referenceEnds = 0;
};

// One step of a lane; true when the lane is done: escaped, in doubt or at
// imax (the result says which). The lanes of a batch step side by side, so
// that the processor overlaps their long chains of dependent operations.
inline bool stepLane(Lane &lane, const double *refX, const double *refY, std::int64_t last,
                     std::int64_t imax, PerturbationResult &result)
{
    State &s = lane.s;
    if (s.n >= imax) {
        result.count = imax;
        return true;
    }
    const double ax = 2.0 * refX[s.m] + s.dx;
    const double ay = 2.0 * refY[s.m] + s.dy;
    const double nx = (ax * s.dx - ay * s.dy) + lane.dcx;
    const double ny = (ax * s.dy + ay * s.dx) + lane.dcy;
    const double error = (s.error * (2.0 * s.zBound + s.error)
                          + Rounding * (l1(ax, ay) * l1(s.dx, s.dy) + lane.dcSize + l1(nx, ny))
                          + Tiny) * Up;
    const std::int64_t m = s.m + 1;
    ++s.n;
    const double zx = refX[m] + nx;
    const double zy = refY[m] + ny;
    const double mag = zx * zx + zy * zy;
    // z's own error: the delta's, the reference's rounding to a double and
    // the sum's.
    const double zError = (error + U * (l1(refX[m], refY[m]) + l1(zx, zy)) + Tiny) * Up;
    const double zAbs = std::sqrt(mag);
    const double magError = ((2.0 * zAbs + zError) * zError + 4.0 * U * mag + Tiny) * Up;
    // NaN anywhere lands here and is doubtful.
    if (!(mag + magError <= EscapeBound)) {
        escapeDecided(mag, magError, result, s.n);
        return true;
    }
    s.zBound = zAbs * Up + zError;
    // Rebasing: z itself becomes the delta against Z(0) = 0.
    const bool closer = mag < nx * nx + ny * ny;
    const bool restart = closer || m == last;
    s.dx = restart ? zx : nx;
    s.dy = restart ? zy : ny;
    s.error = restart ? zError : error;
    s.m = restart ? 0 : m;
    lane.rebases += closer ? 1 : 0;
    lane.referenceEnds += (restart && !closer) ? 1 : 0;
    return false;
}

// Pixels in doubles, LaneCount at a time: a lane that is done takes the next
// waiting pixel.
class DoubleLanes
{
public:
    static constexpr int LaneCount = 4;

    DoubleLanes(const ReferenceOrbit &reference, std::int64_t imax,
                PerturbationResult *results)
        : m_refX(reference.x()), m_refY(reference.y()), m_last(reference.last()),
          m_imax(imax), m_results(results)
    {
    }

    void add(int pixel, double dcx, double dcy, const State &state)
    {
        Lane lane;
        lane.s = state;
        lane.dcx = dcx;
        lane.dcy = dcy;
        lane.dcSize = l1(dcx, dcy) + Tiny;
        lane.pixel = pixel;
        lane.startN = state.n;
        m_waiting.push_back(lane);
    }

    void run()
    {
        Lane lanes[LaneCount];
        int live = 0;
        for (Lane &lane : lanes)
            live += refill(lane) ? 1 : 0;
        while (live > 0) {
            bool done[LaneCount] = {};
            bool any = false;
            while (!any) {
                for (int k = 0; k < LaneCount; ++k) {
                    if (lanes[k].pixel >= 0) {
                        done[k] = stepLane(lanes[k], m_refX, m_refY, m_last, m_imax,
                                           m_results[lanes[k].pixel]);
                        any = any || done[k];
                    }
                }
            }
            for (int k = 0; k < LaneCount; ++k) {
                if (done[k]) {
                    finish(lanes[k]);
                    live -= refill(lanes[k]) ? 0 : 1;
                }
            }
        }
    }

private:
    void finish(const Lane &lane)
    {
        PerturbationResult &result = m_results[lane.pixel];
        result.steps += lane.s.n - lane.startN;
        result.rebases += lane.rebases;
        result.referenceEnds += lane.referenceEnds;
    }

    bool refill(Lane &lane)
    {
        if (m_next == m_waiting.size()) {
            lane.pixel = -1;
            return false;
        }
        lane = m_waiting[m_next++];
        return true;
    }

    const double *m_refX;
    const double *m_refY;
    std::int64_t m_last;
    std::int64_t m_imax;
    PerturbationResult *m_results;
    std::vector<Lane> m_waiting;
    std::size_t m_next = 0;
};

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

void perturb(const ReferenceOrbit &reference, const FloatExp *dcx, const FloatExp *dcy,
             int pixels, std::int64_t imax, PerturbationResult *results)
{
    DoubleLanes lanes(reference, imax, results);
    for (int k = 0; k < pixels; ++k) {
        results[k] = {};
        State state;
        if (l1(dcx[k], dcy[k]).exponent() < DoubleDeltaExponent && reference.extended()) {
            results[k].extended = true;
            if (!runExtended(reference, dcx[k], dcy[k], imax, results[k], state))
                continue;
        }
        if (state.n >= imax)
            results[k].count = imax;
        else
            lanes.add(k, dcx[k].toDouble(), dcy[k].toDouble(), state);
    }
    lanes.run();
}
