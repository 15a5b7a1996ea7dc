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
#include <cstddef>
#include <cstdint>
#include <cstring>
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
// skipLongest() reads a node as two vectors: A and B, then the bound's terms.
static_assert(sizeof(SkipNode) == 8 * sizeof(double) && offsetof(SkipNode, by) == 3 * sizeof(double)
              && offsetof(SkipNode, k1) == 4 * sizeof(double)
              && offsetof(SkipNode, sizeB) == 7 * sizeof(double));

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

inline V4 vmin(V4 a, V4 b)
{
    return b < a ? b : a;
}

// Counts 0 … 2^52 − 1 as doubles, exactly: as the low bits of 2^52. AVX2 has
// no instruction for it, and the compiler converts lane by lane.
inline V4 countsOf(M4 counts)
{
    constexpr long long TwoTo52 = 0x4330000000000000LL;
    return reinterpret_cast<V4>(counts | M4{TwoTo52, TwoTo52, TwoTo52, TwoTo52}) - splat(0x1p52);
}

// Rows r0 … r3 of a 4 × 4 matrix to its columns c0 … c3.
inline void transpose(V4 r0, V4 r1, V4 r2, V4 r3, V4 &c0, V4 &c1, V4 &c2, V4 &c3)
{
    const V4 t0 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6);
    const V4 t1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
    const V4 t2 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6);
    const V4 t3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
    c0 = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    c1 = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    c2 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    c3 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

inline V4 vsqrt(V4 x)
{
    return V4{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
}

// The skip's arithmetic of skipball.h, four lanes at a time.
struct VectorMath
{
    static V4 abs(V4 x) { return vabs(x); }
    static V4 root(V4 x) { return vsqrt(x); }
};

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
            if (any(m_skipping)) {
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
            m_zBound = zAbs * Up + zError;
            // Rebasing: z itself becomes the delta against Z(0) = 0. Few
            // steps restart a lane; the others go on without the selects.
            const M4 closer = mag < nx * nx + ny * ny;
            const M4 restart = closer | (m == last);
            if (any(restart)) {
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
            } else {
                m_dx = nx;
                m_dy = ny;
                m_error = error;
                m_m = m;
                m_zx = zx1;
                m_zy = zy1;
            }
            m_due = due & ~stop;
            if (any(stop | due)) {
                // At imax the count is imax whichever way the test went.
                m_doubt = ~decided & ~(mag - magError > EscapeBound) & ~atImax;
                return stop;
            }
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

    // Lanes due to look for a node whose longest node at m fits (after a
    // hard step, most of them: the whole stretch) take it together, with
    // applyNode()'s and landingBound()'s operations as vectors. Lanes where
    // no node starts wait for the next step; the others, and lanes that
    // land where more nodes start, go on one by one as skipLane() does.
    M4 skipLanes()
    {
        const SkipTable &table = *m_job.skips;
        const M4 want = m_skipping & (m_n >= m_skipAt);
        if (!any(want))
            return M4{};
        const V4 size = (modulusOf<VectorMath>(m_dx, m_dy) + m_error) * Up;
        // Start 0 is empty: lanes that do not look find no node. Vectors
        // built from registers, not from four stores, which a vector load
        // would wait on.
        const SkipTable::Start *starts[Width];
        for (int k = 0; k < Width; ++k)
            starts[k] = &table.start(want[k] != 0 ? m_m[k] : 0);
        const V4 radius{starts[0]->radius, starts[1]->radius, starts[2]->radius, starts[3]->radius};
        const M4 reach{starts[0]->steps, starts[1]->steps, starts[2]->steps, starts[3]->steps};
        constexpr long long Onward = SkipTable::Start::Onward;
        const M4 steps = reach & ~M4{Onward, Onward, Onward, Onward};
        const std::int64_t slots[Width] = {starts[0]->longest, starts[1]->longest,
                                           starts[2]->longest, starts[3]->longest};
        const V4 stepsDone = countsOf(steps);
        const V4 end = vmin(splat(double(m_job.imax) - 1.0), m_test);
        const M4 fits = want & (size <= radius) & (stepsDone <= vmin(end - m_n, splat(0x1p62)));
        // As skipLane() would have them, without its call.
        const M4 hard = want & (reach == 0);
        m_skipAt = hard ? m_n + 1.0 : m_skipAt;
        M4 onward = want & ~fits & ~hard;
        if (any(fits)) {
            skipLongest(fits, slots, steps, size);
            onward |= fits & (steps != reach);
        }
        M4 due = fits & ~onward & (m_n >= m_test);
        if (any(onward)) {
            for (int k = 0; k < Width; ++k) {
                if (onward[k] != 0 && (fits[k] == 0 ? skipLane(k) : skipOn(k)))
                    due[k] = -1;
            }
        }
        return due;
    }

    // applyNode() and landingBound() for the lanes in fits, each with the
    // node in its slot, and their bookkeeping.
    void skipLongest(M4 fits, const std::int64_t slots[Width], M4 steps, V4 size)
    {
        const SkipTable &table = *m_job.skips;
        // A node is two vectors (A and B, then the bound's terms): four
        // lanes' nodes are two 4 × 4 transposes. Every slot holds a node
        // (one fits, so the table has nodes; where none starts, the slot is
        // 0): the loads need not wait for fits, nor branch on it, which
        // took a sixth of the time. The lanes that do not skip drop theirs.
        const auto half = [&](int k, int h) {
            const SkipNode &node = table.nodeAt(slots[k]);
            V4 v;
            std::memcpy(&v, reinterpret_cast<const double *>(&node) + 4 * h, sizeof v);
            return v;
        };
        NodeTerms<V4> n;
        transpose(half(0, 0), half(1, 0), half(2, 0), half(3, 0), n.ax, n.ay, n.bx, n.by);
        transpose(half(0, 1), half(1, 1), half(2, 1), half(3, 1), n.k1, n.k2, n.sA, n.sB);
        V4 dx = m_dx, dy = m_dy, error = m_error;
        applyTerms(n, dx, dy, error, m_dcx, m_dcy, m_dcSize * Up, size);
        // Lanes that do not skip read their own Z(m); their results are dropped.
        const M4 skipped = fits ? steps : M4{};
        const M4 m = m_m + skipped;
        const double *refX = m_job.refX, *refY = m_job.refY;
        const V4 zx{refX[m[0]], refX[m[1]], refX[m[2]], refX[m[3]]};
        const V4 zy{refY[m[0]], refY[m[1]], refY[m[2]], refY[m[3]]};
        const V4 zBound = landingBoundOf<VectorMath>(zx, zy, dx, dy, error);
        m_m = m;
        m_n += countsOf(skipped);
        m_dx = fits ? dx : m_dx;
        m_dy = fits ? dy : m_dy;
        m_error = fits ? error : m_error;
        m_zx = fits ? zx : m_zx;
        m_zy = fits ? zy : m_zy;
        m_zBound = fits ? zBound : m_zBound;
        m_skips -= fits;
        m_skipped += skipped;
        m_skipWait = fits ? splat(1.0) : m_skipWait;
        m_skipAt = fits ? m_n + 1.0 : m_skipAt;
        // Most skips land on a hard step; the next stretch starts after it.
        for (int k = 0; k < Width; ++k)
            table.prefetch(m[k] + 1);
    }

    // Lane k landed from skipLongest() where more nodes start: it skips on
    // as skipNodes() would have. True where it landed on its interior test.
    bool skipOn(int k)
    {
        skipAlone(k);
        m_skipAt[k] = m_n[k] + 1.0;
        return m_n[k] >= m_test[k];
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
        const SkipTable &table = *m_job.skips;
        const std::int64_t skipped = skipAlone(k);
        const bool nodesHere = table.nodesAt(m_m[k]) > 0;
        if (skipped == 0 && nodesHere)
            m_skipWait[k] = std::min(2.0 * m_skipWait[k], MaxSkipWait);
        m_skipAt[k] = m_n[k] + (nodesHere ? m_skipWait[k] : 1.0);
        return skipped > 0 && m_n[k] >= m_test[k];
    }

    // skipNodes() from lane k's state, which then holds where it landed;
    // returns the steps skipped.
    std::int64_t skipAlone(int k)
    {
        const double end = std::min(double(m_job.imax) - 1.0, m_test[k]);
        std::int64_t m = m_m[k];
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
            m_job.skips->prefetch(m + 1);
            m_skips[k] += skips;
            m_skipped[k] += skipped;
            m_skipWait[k] = 1.0;
        }
        return skipped;
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
        m_skipping[k] = m_job.skips != nullptr && start.pixel >= 0 ? -1 : 0;
        m_rebases[k] = 0;
        m_ends[k] = 0;
    }

    const LaneJob &m_job;
    std::size_t m_next = 0;
    int m_live = 0;
    int m_pixel[Width] = {};
    std::int64_t m_startN[Width] = {};
    M4 m_skips{}, m_skipped{};
    V4 m_skipAt{}, m_skipWait{}; // when to look next
    M4 m_skipping{}; // lanes that run a pixel and may skip
    InteriorWatch m_watch[Width];
    V4 m_dx{}, m_dy{}, m_dcx{}, m_dcy{}, m_dcSize{}, m_error{}, m_zBound{};
    V4 m_zx{}, m_zy{}; // the reference's Z(m)
    V4 m_n{}; // steps taken, exact as a double below 2^53
    V4 m_test{}; // the step of the next interior test
    M4 m_m{}, m_active{}, m_doubt{}, m_rebases{}, m_ends{}, m_due{};
};

} // namespace
