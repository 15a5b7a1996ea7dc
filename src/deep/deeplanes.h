#pragma once

// The perturbation step in doubles for four pixels side by side (eight with
// AVX-512), written once with GCC's vector types and compiled once per
// instruction set by deeplanes_*.cpp. Include it only there. Everything
// lives in an anonymous namespace so that the linker cannot merge an AVX2
// copy into code meant for any x86-64 (as in core/lanekernel.h).

#include "core/escapetime.h"
#include "deep/interiortest.h"
#include "deep/lanejob.h"
#include "deep/skipball.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#if defined(__AVX512F__)
#include <immintrin.h>
#endif

#ifdef __FAST_MATH__
#error "the perturbation's error bound must not be built with -ffast-math"
#endif

namespace {

using namespace DeepBound;

// A lane whose delta has outgrown the skip table looks again this many
// steps later at most.
constexpr double MaxSkipWait = 256.0;
// skipLongest() reads a node as two halves (A and B, then the bound's terms)
// or whole.
static_assert(sizeof(SkipNode) == 8 * sizeof(double) && offsetof(SkipNode, by) == 3 * sizeof(double)
              && offsetof(SkipNode, k1) == 4 * sizeof(double)
              && offsetof(SkipNode, sizeB) == 7 * sizeof(double));

typedef double V4 __attribute__((vector_size(32)));
typedef long long M4 __attribute__((vector_size(32)));
typedef double V8 __attribute__((vector_size(64)));
typedef long long M8 __attribute__((vector_size(64)));

template <int W>
struct LaneVectors;
template <>
struct LaneVectors<4>
{
    using V = V4;
    using M = M4;
};
template <>
struct LaneVectors<8>
{
    using V = V8;
    using M = M8;
};

// W doubles side by side (four, or eight with AVX-512) and their masks, with
// the skip's arithmetic of skipball.h for them (abs and root).
template <int W>
struct LaneMath
{
    using V = typename LaneVectors<W>::V;
    using M = typename LaneVectors<W>::M;

    // The vector of f(0) … f(W − 1), built in registers: element by element
    // it would be W stores that a vector load then waits on.
    template <typename T, typename F>
    static T build(F f)
    {
        return [&]<std::size_t... K>(std::index_sequence<K...>) { return T{f(K)...}; }(
            std::make_index_sequence<W>{});
    }

    static V splat(double value) { return V{} + value; }
    static M splat(long long value) { return M{} + value; }

    static V abs(V x)
    {
        constexpr long long NoSign = 0x7FFFFFFFFFFFFFFFLL;
        return reinterpret_cast<V>(reinterpret_cast<M>(x) & NoSign);
    }

    static V root(V x)
    {
        return build<V>([&](int k) { return std::sqrt(x[k]); });
    }

    static V l1(V x, V y) { return abs(x) + abs(y); }

    static V min(V a, V b) { return b < a ? b : a; }

    // Counts 0 … 2^52 − 1 as doubles, exactly: as the low bits of 2^52.
    // AVX2 has no instruction for it, and the compiler converts lane by lane.
    static V countsOf(M counts)
    {
        constexpr long long TwoTo52 = 0x4330000000000000LL;
        return reinterpret_cast<V>(counts | TwoTo52) - 0x1p52;
    }

    // Whether any lane's mask is set: one sign-bit move with AVX, one test
    // into a mask register with AVX-512.
    static bool any(M mask)
    {
#if defined(__AVX512F__)
        if constexpr (W == 8)
            return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(mask),
                                          reinterpret_cast<__m512i>(mask)) != 0;
#endif
#ifdef __AVX__
        if constexpr (W == 4)
            return __builtin_ia32_movmskpd256(reinterpret_cast<V>(mask)) != 0;
#endif
        long long bits = 0;
        for (int k = 0; k < W; ++k)
            bits |= mask[k];
        return bits != 0;
    }
};

// Rows r0 … r3 of a 4 × 4 matrix to its columns c0 … c3.
template <typename V>
inline void transpose(V r0, V r1, V r2, V r3, V &c0, V &c1, V &c2, V &c3)
{
    const V t0 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6);
    const V t1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
    const V t2 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6);
    const V t3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
    c0 = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    c1 = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    c2 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    c3 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Rows r[0] … r[7] of an 8 × 8 matrix to its columns c[0] … c[7]: pairs of
// rows interleaved, then pairs of pairs, then the halves.
inline void transpose(const V8 (&r)[8], V8 (&c)[8])
{
    V8 t[8], u[8];
    for (int k = 0; k < 8; k += 2) {
        t[k] = __builtin_shufflevector(r[k], r[k + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        t[k + 1] = __builtin_shufflevector(r[k], r[k + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int k = 0; k < 8; k += 4) {
        u[k] = __builtin_shufflevector(t[k], t[k + 2], 0, 1, 8, 9, 4, 5, 12, 13);
        u[k + 1] = __builtin_shufflevector(t[k + 1], t[k + 3], 0, 1, 8, 9, 4, 5, 12, 13);
        u[k + 2] = __builtin_shufflevector(t[k], t[k + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        u[k + 3] = __builtin_shufflevector(t[k + 1], t[k + 3], 2, 3, 10, 11, 6, 7, 14, 15);
    }
    for (int k = 0; k < 4; ++k) {
        c[k] = __builtin_shufflevector(u[k], u[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        c[k + 4] = __builtin_shufflevector(u[k], u[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// The W lanes' state; a lane's pixel is −1 while it is idle.
template <int W>
class DeepLanes
{
    using Math = LaneMath<W>;
    using V = typename Math::V;
    using M = typename Math::M;
    static constexpr int Width = W;

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
    M stepUntilStop()
    {
        for (;;) {
            if (Math::any(m_skipping)) {
                // Lanes whose skips landed on their interior test have it now.
                const M due = skipLanes();
                if (Math::any(due)) {
                    m_due = due;
                    return M{};
                }
            }
            M stop;
            if (takeSteps(stop))
                return stop;
        }
    }

    // Takes steps with the lanes' state in registers (the members would be
    // stored and loaded again at every step) until an active lane stops or
    // is due for its interior test, true with the lanes that stopped; false
    // where a lane is due to look for a node instead.
    bool takeSteps(M &stopped)
    {
        const V imax = Math::splat(double(m_job.imax));
        const M last = Math::splat(static_cast<long long>(m_job.last));
        const V dcx = m_dcx, dcy = m_dcy, dcSize = m_dcSize, test = m_test;
        const M active = m_active, skipping = m_skipping;
        V dx = m_dx, dy = m_dy, error = m_error, zBound = m_zBound, n = m_n;
        V zx0 = m_zx, zy0 = m_zy;
        M index = m_m;
        for (;;) {
            // Z(m) is the last step's Z(m + 1), or Z(0) = 0 after a restart:
            // only Z(m + 1) is loaded.
            V zx1, zy1;
            loadReference(index + 1, zx1, zy1);
            const V ax = 2.0 * zx0 + dx;
            const V ay = 2.0 * zy0 + dy;
            const V nx = (ax * dx - ay * dy) + dcx;
            const V ny = (ax * dy + ay * dx) + dcy;
            const V nextError = (error * (2.0 * zBound + error)
                                 + Rounding * (Math::l1(ax, ay) * Math::l1(dx, dy) + dcSize
                                               + Math::l1(nx, ny))
                                 + Tiny) * Up;
            const M m = index + 1;
            n += 1.0;
            const V zx = zx1 + nx;
            const V zy = zy1 + ny;
            const V mag = zx * zx + zy * zy;
            // z's own error: the delta's, the reference's rounding to a
            // double and the sum's.
            const V zError = (nextError + U * (Math::l1(zx1, zy1) + Math::l1(zx, zy)) + Tiny) * Up;
            const V zAbs = Math::root(mag);
            const V magError = ((2.0 * zAbs + zError) * zError + 4.0 * U * mag + Tiny) * Up;
            // NaN anywhere fails "<=" and is doubtful.
            const M decided = mag + magError <= EscapeBound;
            const M atImax = n >= imax;
            const M stop = (~decided | atImax) & active;
            const M due = (n >= test) & active;
            zBound = zAbs * Up + zError;
            // Rebasing: z itself becomes the delta against Z(0) = 0. Few
            // steps restart a lane; the others go on without the selects.
            const M closer = mag < nx * nx + ny * ny;
            const M restart = closer | (m == last);
            if (Math::any(restart)) {
                dx = restart ? zx : nx;
                dy = restart ? zy : ny;
                error = restart ? zError : nextError;
                index = restart ? M{} : m;
                zx0 = restart ? V{} : zx1;
                zy0 = restart ? V{} : zy1;
                if (m_job.skips != nullptr && Math::any(restart & active))
                    watchSkips(restart & active);
                m_rebases -= closer & ~stop;
                m_ends -= restart & ~closer & ~stop;
            } else {
                dx = nx;
                dy = ny;
                error = nextError;
                index = m;
                zx0 = zx1;
                zy0 = zy1;
            }
            const bool stops = Math::any(stop | due);
            if (stops || Math::any(skipping & (n >= m_skipAt))) {
                m_dx = dx, m_dy = dy, m_error = error, m_zBound = zBound, m_n = n;
                m_zx = zx0, m_zy = zy0;
                m_m = index;
                m_due = due & ~stop;
                // At imax the count is imax whichever way the test went.
                m_doubt = ~decided & ~(mag - magError > EscapeBound) & ~atImax;
                stopped = stop;
                return stops;
            }
        }
    }

    // The reference's point at each lane's index, one gather with AVX-512.
    void loadReference(M index, V &x, V &y) const
    {
#if defined(__AVX512F__)
        if constexpr (Width == 8) {
            const __m512i at = reinterpret_cast<__m512i>(index);
            x = reinterpret_cast<V>(_mm512_i64gather_pd(at, m_job.refX, sizeof(double)));
            y = reinterpret_cast<V>(_mm512_i64gather_pd(at, m_job.refY, sizeof(double)));
            return;
        }
#endif
        x = Math::template build<V>([&](int k) { return m_job.refX[index[k]]; });
        y = Math::template build<V>([&](int k) { return m_job.refY[index[k]]; });
    }

    void settle(M stop)
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
    void watchSkips(M restarted)
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
    M skipLanes()
    {
        const SkipTable &table = *m_job.skips;
        const M want = m_skipping & (m_n >= m_skipAt);
        if (!Math::any(want))
            return M{};
        const V size = (modulusOf<Math>(m_dx, m_dy) + m_error) * Up;
        // Start 0 is empty: lanes that do not look find no node.
        const SkipTable::Start *starts[Width];
        for (int k = 0; k < Width; ++k)
            starts[k] = &table.start(want[k] != 0 ? m_m[k] : 0);
        const V radius = Math::template build<V>([&](int k) { return starts[k]->radius; });
        const M reach = Math::template build<M>([&](int k) { return starts[k]->steps; });
        std::int64_t slots[Width];
        for (int k = 0; k < Width; ++k)
            slots[k] = starts[k]->longest;
        constexpr long long Onward = SkipTable::Start::Onward;
        const M steps = reach & ~Onward;
        const V stepsDone = Math::countsOf(steps);
        const V end = Math::min(Math::splat(double(m_job.imax) - 1.0), m_test);
        const M fits = want & (size <= radius)
                        & (stepsDone <= Math::min(end - m_n, Math::splat(0x1p62)));
        // As skipLane() would have them, without its call.
        const M hard = want & (reach == 0);
        m_skipAt = hard ? m_n + 1.0 : m_skipAt;
        M onward = want & ~fits & ~hard;
        if (Math::any(fits)) {
            skipLongest(fits, slots, steps, size);
            onward |= fits & (steps != reach);
        }
        M due = fits & ~onward & (m_n >= m_test);
        if (Math::any(onward)) {
            for (int k = 0; k < Width; ++k) {
                if (onward[k] != 0 && (fits[k] == 0 ? skipLane(k) : skipOn(k)))
                    due[k] = -1;
            }
        }
        return due;
    }

    // applyNode() and landingBound() for the lanes in fits, each with the
    // node in its slot, and their bookkeeping.
    void skipLongest(M fits, const std::int64_t slots[Width], M steps, V size)
    {
        const SkipTable &table = *m_job.skips;
        // A node is two four-double vectors (A and B, then the bound's
        // terms) or one of eight: the lanes' nodes are two 4 × 4 transposes
        // or one 8 × 8. Every slot holds a node (one fits, so the table has
        // nodes; where none starts, the slot is 0): the loads need not wait
        // for fits, nor branch on it, which took a sixth of the time. The
        // lanes that do not skip drop theirs.
        NodeTerms<V> n;
        if constexpr (Width == 4) {
            const auto half = [&](int k, int h) {
                const SkipNode &node = table.nodeAt(slots[k]);
                V v;
                std::memcpy(&v, reinterpret_cast<const double *>(&node) + 4 * h, sizeof v);
                return v;
            };
            transpose(half(0, 0), half(1, 0), half(2, 0), half(3, 0), n.ax, n.ay, n.bx, n.by);
            transpose(half(0, 1), half(1, 1), half(2, 1), half(3, 1), n.k1, n.k2, n.sA, n.sB);
        } else {
            V rows[Width], columns[Width];
            for (int k = 0; k < Width; ++k)
                std::memcpy(&rows[k], &table.nodeAt(slots[k]), sizeof rows[k]);
            transpose(rows, columns);
            n = {columns[0], columns[1], columns[2], columns[3],
                 columns[4], columns[5], columns[6], columns[7]};
        }
        V dx = m_dx, dy = m_dy, error = m_error;
        applyTerms(n, dx, dy, error, m_dcx, m_dcy, m_dcSize * Up, size);
        // Lanes that do not skip read their own Z(m); their results are dropped.
        const M skipped = fits ? steps : M{};
        const M m = m_m + skipped;
        V zx, zy;
        loadReference(m, zx, zy);
        const V zBound = landingBoundOf<Math>(zx, zy, dx, dy, error);
        m_m = m;
        m_n += Math::countsOf(skipped);
        m_dx = fits ? dx : m_dx;
        m_dy = fits ? dy : m_dy;
        m_error = fits ? error : m_error;
        m_zx = fits ? zx : m_zx;
        m_zy = fits ? zy : m_zy;
        m_zBound = fits ? zBound : m_zBound;
        m_skips -= fits;
        m_skipped += skipped;
        m_skipWait = fits ? Math::splat(1.0) : m_skipWait;
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
    M m_skips{}, m_skipped{};
    V m_skipAt{}, m_skipWait{}; // when to look next
    M m_skipping{}; // lanes that run a pixel and may skip
    InteriorWatch m_watch[Width];
    V m_dx{}, m_dy{}, m_dcx{}, m_dcy{}, m_dcSize{}, m_error{}, m_zBound{};
    V m_zx{}, m_zy{}; // the reference's Z(m)
    V m_n{}; // steps taken, exact as a double below 2^53
    V m_test{}; // the step of the next interior test
    M m_m{}, m_active{}, m_doubt{}, m_rebases{}, m_ends{}, m_due{};
};

} // namespace
