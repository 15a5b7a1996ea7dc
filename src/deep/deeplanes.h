#pragma once

// The perturbation step in doubles for four pixels side by side, written
// once with GCC's vector types and compiled once per instruction set by
// deeplanes_*.cpp. Include it only there. Everything lives in an anonymous
// namespace so that the linker cannot merge an AVX2 copy into code meant for
// any x86-64 (as in core/lanekernel.h).

#include "core/escapetime.h"
#include "deep/interiortest.h"
#include "deep/lanejob.h"
#include "deep/skipball.h"

#include <cmath>
#include <cstdint>
#include <limits>

#ifdef __FAST_MATH__
#error "the perturbation's error bound must not be built with -ffast-math"
#endif

namespace {

using namespace DeepBound;

typedef double V4 __attribute__((vector_size(32)));
typedef long long M4 __attribute__((vector_size(32)));

constexpr int Width = 4;
// A lane whose delta has outgrown the skip table looks again this many
// steps later at most.
constexpr double MaxSkipWait = 256.0;

inline V4 splat(double value)
{
    return V4{value, value, value, value};
}

inline V4 vabs(V4 x)
{
    constexpr long long NoSign = 0x7FFFFFFFFFFFFFFFLL;
    return reinterpret_cast<V4>(reinterpret_cast<M4>(x) & M4{NoSign, NoSign, NoSign, NoSign});
}

inline V4 l1(V4 x, V4 y)
{
    return vabs(x) + vabs(y);
}

inline V4 vsqrt(V4 x)
{
    return V4{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
}

// Whether any lane's mask is set: one sign-bit move with AVX.
inline bool any(M4 mask)
{
#ifdef __AVX__
    return __builtin_ia32_movmskpd256(reinterpret_cast<V4>(mask)) != 0;
#else
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
#endif
}

// The four lanes' state; a lane's pixel is −1 while it is idle.
class DeepLanes
{
public:
    explicit DeepLanes(const LaneJob &job) : m_job(job) {}

    void run()
    {
        for (int k = 0; k < Width; ++k)
            refill(k);
        while (m_live > 0)
            settle(stepUntilStop());
    }

private:
    // Steps all lanes until an active one stops (escaped, in doubt or at
    // imax) or is due for an interior test; returns which, with the step's
    // values kept for settle().
    M4 stepUntilStop()
    {
        const double *refX = m_job.refX;
        const double *refY = m_job.refY;
        const V4 imax = splat(double(m_job.imax));
        const M4 last = M4{m_job.last, m_job.last, m_job.last, m_job.last};
        for (;;) {
            if (m_skippers != 0) {
                // Lanes whose skips landed on their interior test have it now.
                const M4 due = skipLanes();
                if (any(due)) {
                    m_due = due;
                    return M4{};
                }
            }
            // Z(m) is the last step's Z(m + 1), or Z(0) = 0 after a restart:
            // only Z(m + 1) is loaded.
            const V4 zx0 = m_zx, zy0 = m_zy;
            V4 zx1, zy1;
            for (int k = 0; k < Width; ++k) {
                zx1[k] = refX[m_m[k] + 1];
                zy1[k] = refY[m_m[k] + 1];
            }
            const V4 ax = 2.0 * zx0 + m_dx;
            const V4 ay = 2.0 * zy0 + m_dy;
            const V4 nx = (ax * m_dx - ay * m_dy) + m_dcx;
            const V4 ny = (ax * m_dy + ay * m_dx) + m_dcy;
            const V4 error = (m_error * (2.0 * m_zBound + m_error)
                              + Rounding * (l1(ax, ay) * l1(m_dx, m_dy) + m_dcSize + l1(nx, ny))
                              + Tiny) * Up;
            const M4 m = m_m + 1;
            m_n += 1.0;
            const V4 zx = zx1 + nx;
            const V4 zy = zy1 + ny;
            const V4 mag = zx * zx + zy * zy;
            // z's own error: the delta's, the reference's rounding to a
            // double and the sum's.
            const V4 zError = (error + U * (l1(zx1, zy1) + l1(zx, zy)) + Tiny) * Up;
            const V4 zAbs = vsqrt(mag);
            const V4 magError = ((2.0 * zAbs + zError) * zError + 4.0 * U * mag + Tiny) * Up;
            // NaN anywhere fails "<=" and is doubtful.
            const M4 decided = mag + magError <= EscapeBound;
            const M4 atImax = m_n >= imax;
            const M4 stop = (~decided | atImax) & m_active;
            const M4 due = (m_n >= m_test) & m_active;
            // At imax the count is imax whichever way the test went.
            m_doubt = ~decided & ~(mag - magError > EscapeBound) & ~atImax;
            m_zBound = zAbs * Up + zError;
            // Rebasing: z itself becomes the delta against Z(0) = 0.
            const M4 closer = mag < nx * nx + ny * ny;
            const M4 restart = closer | (m == last);
            m_dx = restart ? zx : nx;
            m_dy = restart ? zy : ny;
            m_error = restart ? zError : error;
            m_m = restart ? M4{} : m;
            m_zx = restart ? V4{} : zx1;
            m_zy = restart ? V4{} : zy1;
            if (m_job.skips != nullptr && any(restart & m_active))
                watchSkips(restart & m_active);
            m_rebases -= closer & ~stop;
            m_ends -= restart & ~closer & ~stop;
            m_due = due & ~stop;
            const M4 settle = stop | due;
            if (any(settle))
                return stop;
        }
    }

    void settle(M4 stop)
    {
        for (int k = 0; k < Width; ++k) {
            if (m_due[k] != 0 && !testInterior(k))
                continue;
            if (stop[k] == 0 && m_due[k] == 0)
                continue;
            PerturbationResult &result = m_job.results[m_pixel[k]];
            result.interior = m_due[k] != 0;
            result.count = result.interior ? m_job.imax : static_cast<std::int64_t>(m_n[k]);
            result.verdict = m_doubt[k] != 0 && !result.interior ? PerturbationResult::Unsure
                                                                 : PerturbationResult::Counted;
            result.steps += static_cast<std::int64_t>(m_n[k]) - m_startN[k] - m_skipped[k];
            result.skips += m_skips[k];
            result.skipped += m_skipped[k];
            result.rebases += m_rebases[k];
            result.referenceEnds += m_ends[k];
            --m_live;
            refill(k);
        }
    }

    // True where lane k's pixel is proven never to escape; otherwise its
    // next test is set and it goes on.
    bool testInterior(int k)
    {
        const std::int64_t n = static_cast<std::int64_t>(m_n[k]);
        const LaneState state{m_m[k], n, m_dx[k], m_dy[k], m_error[k], m_zBound[k]};
        if (m_watch[k].observe(m_job, m_dcx[k], m_dcy[k], state))
            return true;
        m_test[k] = double(m_watch[k].due());
        m_skipWait[k] = 1.0;
        m_skipAt[k] = 0.0;
        return false;
    }

    // Lanes whose delta restarted may fit the skip table's nodes again.
    void watchSkips(M4 restarted)
    {
        for (int k = 0; k < Width; ++k) {
            if (restarted[k] != 0) {
                m_skipWait[k] = 1.0;
                m_skipAt[k] = 0.0;
            }
        }
    }

    M4 skipLanes()
    {
        M4 due{};
        for (int k = 0; k < Width; ++k)
            if ((m_skippers & (1 << k)) != 0 && skipLane(k))
                due[k] = -1;
        return due;
    }

    // Applies the longest nodes that fit lane k's ball (dz, E), as long as
    // one does, stopping short of imax and landing at the next interior
    // test at the latest. Where none fits at a start of nodes (the delta
    // has outgrown the nodes there), the lane looks again after twice as
    // many steps as the last time; elsewhere (a hard step of the table)
    // from the next step on, and so after a skip or a restart. True where
    // the lane landed on its interior test.
    bool skipLane(int k)
    {
        if (m_n[k] < m_skipAt[k])
            return false;
        const SkipTable &table = *m_job.skips;
        std::int64_t m = m_m[k];
        const double end = std::min(double(m_job.imax) - 1.0, m_test[k]);
        SkipBall ball{m_dx[k], m_dy[k], m_error[k]};
        const SkipPixel pixel{m_dcx[k], m_dcy[k], m_dcSize[k] * Up};
        std::int64_t skips = 0;
        const std::int64_t skipped = skipNodes(
            m_job, pixel, static_cast<std::int64_t>(std::min(end - m_n[k], 0x1p62)), m, ball, skips);
        if (skipped > 0) {
            m_m[k] = m;
            m_n[k] += double(skipped);
            m_dx[k] = ball.dx;
            m_dy[k] = ball.dy;
            m_error[k] = ball.error;
            m_zx[k] = m_job.refX[m];
            m_zy[k] = m_job.refY[m];
            m_zBound[k] = landingBound(m_zx[k], m_zy[k], ball);
            // Most skips land on a hard step; the next stretch starts after it.
            table.prefetch(m + 1);
            m_skips[k] += skips;
            m_skipped[k] += skipped;
            m_skipWait[k] = 1.0;
        } else if (table.nodesAt(m) > 0) {
            m_skipWait[k] = std::min(2.0 * m_skipWait[k], MaxSkipWait);
        }
        m_skipAt[k] = m_n[k] + (table.nodesAt(m) > 0 ? m_skipWait[k] : 1.0);
        return skipped > 0 && m_n[k] >= m_test[k];
    }

    void refill(int k)
    {
        LaneStart start{};
        start.pixel = -1;
        if (m_next < m_job.starts.size()) {
            start = m_job.starts[m_next++];
            ++m_live;
        }
        m_pixel[k] = start.pixel;
        m_active[k] = start.pixel >= 0 ? -1 : 0;
        m_dcx[k] = start.dcx;
        m_dcy[k] = start.dcy;
        m_dcSize[k] = std::fabs(start.dcx) + std::fabs(start.dcy) + Tiny;
        m_dx[k] = start.state.dx;
        m_dy[k] = start.state.dy;
        m_error[k] = start.state.error;
        m_zBound[k] = start.state.zBound;
        m_m[k] = start.state.m;
        m_zx[k] = start.pixel >= 0 ? m_job.refX[start.state.m] : 0.0;
        m_zy[k] = start.pixel >= 0 ? m_job.refY[start.state.m] : 0.0;
        m_n[k] = double(start.state.n);
        m_test[k] = std::numeric_limits<double>::infinity();
        if (m_job.period > 0) {
            m_watch[k].start(start.state.n, m_job.period);
            m_test[k] = double(m_watch[k].due());
        }
        m_startN[k] = start.state.n;
        m_skips[k] = 0;
        m_skipped[k] = 0;
        m_skipWait[k] = 1.0;
        m_skipAt[k] = 0.0;
        if (m_job.skips != nullptr && start.pixel >= 0)
            m_skippers |= 1 << k;
        else
            m_skippers &= ~(1 << k);
        m_rebases[k] = 0;
        m_ends[k] = 0;
    }

    const LaneJob &m_job;
    std::size_t m_next = 0;
    int m_live = 0;
    int m_pixel[Width] = {};
    std::int64_t m_startN[Width] = {};
    std::int64_t m_skips[Width] = {}, m_skipped[Width] = {};
    int m_skippers = 0; // bit k: lane k runs a pixel and may skip
    double m_skipAt[Width] = {}, m_skipWait[Width] = {}; // when to look next
    InteriorWatch m_watch[Width];
    V4 m_dx{}, m_dy{}, m_dcx{}, m_dcy{}, m_dcSize{}, m_error{}, m_zBound{};
    V4 m_zx{}, m_zy{}; // the reference's Z(m)
    V4 m_n{}; // steps taken, exact as a double below 2^53
    V4 m_test{}; // the step of the next interior test
    M4 m_m{}, m_active{}, m_doubt{}, m_rebases{}, m_ends{}, m_due{};
};

} // namespace
