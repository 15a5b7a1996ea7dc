#pragma once

// The vector column kernel, written once over a small register interface V
// and compiled once per instruction set by the lanes_*.cpp files. Include it
// only there, after <immintrin.h> and the V definition.
//
// Everything here lives in an anonymous namespace on purpose: each file is
// built with different -m flags, and a function with external linkage could
// be merged by the linker with another file's copy, letting AVX-512 code run
// on a processor that only has SSE2.

#include "render/columnjob.h"
#include "render/escapetime.h"

#include <type_traits>

namespace {

// Steps between two looks at the lanes. A lane always starts at a block
// boundary, so a lane still running has taken a multiple of Block steps.
constexpr int Block = 8;
static_assert(CycleCheckAfter % Block == 0,
              "a lane must reach the cycle threshold at a block boundary");

// The first step count at which a lane saves z for the cycle comparison.
constexpr double FirstSave = 8.0;

// One step z <- z² + c with exactly the operations and order of
// punkt_iteration, so every lane's z is bit for bit the plain loop's z.
template <class V>
inline void laneStep(typename V::D &x, typename V::D &y, typename V::D cx,
                     typename V::D cy, typename V::D two)
{
    const typename V::D xNext = V::add(V::sub(V::mul(x, x), V::mul(y, y)), cx);
    const typename V::D yNext = V::add(V::mul(V::mul(two, x), y), cy);
    x = xNext;
    y = yNext;
}

template <class V>
inline typename V::D laneMagnitude(typename V::D x, typename V::D y)
{
    return V::add(V::mul(x, x), V::mul(y, y));
}

template <class V>
void laneStepProbe(const StepProbe &probe)
{
    typename V::D x = V::load(probe.x);
    typename V::D y = V::load(probe.y);
    laneStep<V>(x, y, V::set1(probe.cx), V::load(probe.cy), V::set1(2.0));
    V::store(probe.xOut, x);
    V::store(probe.yOut, y);
    V::store(probe.mOut, laneMagnitude<V>(x, y));
}

// G registers of V::Width lanes each work through one column. A lane that
// finishes hands its count back and takes the next point of the column, so
// the registers stay full until the column runs out.
//
// Per lane: z (x, y), the step count n and the lane's step limit, all doubles
// so that the whole loop stays in vector registers (counts up to 32767 are
// exact). A lane is active while m <= bound and n < limit, as in the plain
// loop; once inactive it stays so until it is refilled, and n no longer moves.
template <class V, int G>
class LaneKernel
{
public:
    explicit LaneKernel(const ColumnJob &job) : m_job(job) {}

    ColumnWork run()
    {
        for (int lane = 0; lane < Lanes; ++lane)
            refill(lane);
        while (anyLive()) {
            // Once the column has no points left, the remaining lanes move
            // into as few registers as they fit, so that the last slow points
            // do not drag empty registers along.
            const int groups = m_nextPoint < m_job.points ? G : compact();
            const unsigned stopped =
                m_cycleMode ? iterateFirst<true>(groups) : iterateFirst<false>(groups);
            settle(stopped);
        }
        return m_work;
    }

private:
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int W = V::Width;
    static constexpr int Lanes = W * G;
    static_assert(Lanes <= 32, "lane bits are kept in one unsigned");

    template <bool Cycles, int Used = G>
    unsigned iterateFirst(int groups)
    {
        if constexpr (Used > 1) {
            if (groups < Used)
                return iterateFirst<Cycles, Used - 1>(groups);
        }
        return iterate<Cycles, Used>();
    }

    // Runs whole blocks on the first Used registers until some live lane
    // stops; returns the lanes that stopped as bits (lane g * W + k is bit
    // g * W + k).
    template <bool Cycles, int Used>
    unsigned iterate()
    {
        D x[Used], y[Used], cy[Used], n[Used], limit[Used], sx[Used], sy[Used], next[Used];
        M active[Used];
        unsigned live[Used];
        const D zero = V::set1(0.0);
        for (int g = 0; g < Used; ++g) {
            x[g] = V::load(m_x + g * W);
            y[g] = V::load(m_y + g * W);
            cy[g] = V::load(m_cy + g * W);
            n[g] = V::load(m_n + g * W);
            limit[g] = V::load(m_limit + g * W);
            sx[g] = V::load(m_sx + g * W);
            sy[g] = V::load(m_sy + g * W);
            next[g] = V::load(m_next + g * W);
            active[g] = V::lt(zero, V::load(m_live + g * W));
            live[g] = V::bits(active[g]);
        }
        const D cx = V::set1(m_job.cx);
        const D two = V::set1(2.0);
        const D one = V::set1(1.0);
        const D bound = V::set1(EscapeBound);
        const D cycleMark = V::set1(-1.0);
        const D gapShare = V::set1(SaveGapShare);
        const D minimumGap = V::set1(MinimumSaveGap);
        const D blockSteps = V::set1(Block);
        auto block = [&](auto nearLimit) {
            for (int u = 0; u < Block; ++u) {
                for (int g = 0; g < Used; ++g) {
                    laneStep<V>(x[g], y[g], cx, cy[g], two);
                    n[g] = V::addWhere(n[g], active[g], one);
                    M goesOn = V::le(laneMagnitude<V>(x[g], y[g]), bound);
                    if constexpr (decltype(nearLimit)::value)
                        goesOn = V::both(goesOn, V::lt(n[g], limit[g]));
                    active[g] = V::both(active[g], goesOn);
                }
            }
        };
        unsigned changed = 0;
        while (changed == 0) {
            // A lane that cannot reach its limit within this block (not even
            // at its last step) needs no step-count compare in it.
            unsigned nearLimit = 0;
            for (int g = 0; g < Used; ++g)
                nearLimit |= V::bits(V::both(active[g], V::le(limit[g], V::add(n[g], blockSteps))));
            if (nearLimit != 0)
                block(std::true_type());
            else
                block(std::false_type());
            if constexpr (Cycles) {
                // z equal to an earlier z of the same orbit, x and y compared
                // exactly: the orbit repeats from here on, so it never escapes.
                // (+0 and -0 compare equal; the orbits then differ at most in
                // the sign of a zero, which no later |z|² can tell apart.)
                for (int g = 0; g < Used; ++g) {
                    const M repeats = V::both(active[g],
                                              V::both(V::eq(x[g], sx[g]), V::eq(y[g], sy[g])));
                    limit[g] = V::select(repeats, cycleMark, limit[g]);
                    active[g] = V::butNot(active[g], repeats);
                    const M save = V::both(active[g], V::le(next[g], n[g]));
                    sx[g] = V::select(save, x[g], sx[g]);
                    sy[g] = V::select(save, y[g], sy[g]);
                    next[g] = V::select(
                        save, V::add(V::add(n[g], V::mul(n[g], gapShare)), minimumGap), next[g]);
                }
            }
            for (int g = 0; g < Used; ++g)
                changed |= (V::bits(active[g]) ^ live[g]) << (g * W);
        }
        for (int g = 0; g < Used; ++g) {
            V::store(m_x + g * W, x[g]);
            V::store(m_y + g * W, y[g]);
            V::store(m_n + g * W, n[g]);
            V::store(m_limit + g * W, limit[g]);
            V::store(m_sx + g * W, sx[g]);
            V::store(m_sy + g * W, sy[g]);
            V::store(m_next + g * W, next[g]);
        }
        return changed;
    }

    // Why each stopped lane stopped, decided from its stored state.
    void settle(unsigned stopped)
    {
        const double imax = m_job.imax;
        bool reachedThreshold = false;
        for (; stopped != 0; stopped &= stopped - 1) {
            const int lane = __builtin_ctz(stopped);
            const double n = m_n[lane];
            if (m_limit[lane] < 0.0) {
                ++m_work.cyclesFound;
                finish(lane, m_job.imax, n);
            } else if (n >= imax || n < m_limit[lane]) {
                finish(lane, static_cast<std::int16_t>(n), n);
            } else {
                // n reached the cycle threshold at the end of a block, so z
                // is this lane's own. It ends here only if this step escaped.
                const double m = m_x[lane] * m_x[lane] + m_y[lane] * m_y[lane];
                if (m <= EscapeBound)
                    reachedThreshold = true;
                else
                    finish(lane, static_cast<std::int16_t>(n), n);
            }
        }
        if (reachedThreshold)
            setCycleMode(true);
        else if (m_cycleMode && !anyPast(CycleCheckAfter))
            setCycleMode(false);
    }

    void setCycleMode(bool on)
    {
        m_cycleMode = on;
        for (int lane = 0; lane < Lanes; ++lane) {
            if (m_live[lane] > 0.0)
                m_limit[lane] = freshLimit();
        }
    }

    double freshLimit() const
    {
        if (!m_job.cycles || m_cycleMode || m_job.imax <= CycleCheckAfter)
            return m_job.imax;
        return CycleCheckAfter;
    }

    void finish(int lane, std::int16_t count, double steps)
    {
        m_job.counts[m_point[lane]] = count;
        m_work.steps += static_cast<std::int64_t>(steps);
        refill(lane);
    }

    void refill(int lane)
    {
        const bool more = m_nextPoint < m_job.points;
        m_point[lane] = more ? m_nextPoint++ : -1;
        m_live[lane] = more ? 1.0 : 0.0;
        m_x[lane] = 0.0;
        m_y[lane] = 0.0;
        m_n[lane] = 0.0;
        m_cy[lane] = more ? m_job.cy[m_point[lane]] : 0.0;
        m_limit[lane] = more ? freshLimit() : 0.0;
        // NaN equals nothing: no match before the lane's first save.
        m_sx[lane] = __builtin_nan("");
        m_sy[lane] = __builtin_nan("");
        m_next[lane] = FirstSave;
    }

    // Moves the live lanes to the front; returns the registers they need.
    int compact()
    {
        int used = 0;
        for (int lane = 0; lane < Lanes; ++lane) {
            if (m_live[lane] > 0.0) {
                if (lane != used)
                    moveLane(lane, used);
                ++used;
            }
        }
        return (used + W - 1) / W;
    }

    void moveLane(int from, int to)
    {
        m_x[to] = m_x[from];
        m_y[to] = m_y[from];
        m_cy[to] = m_cy[from];
        m_n[to] = m_n[from];
        m_limit[to] = m_limit[from];
        m_sx[to] = m_sx[from];
        m_sy[to] = m_sy[from];
        m_next[to] = m_next[from];
        m_live[to] = m_live[from];
        m_point[to] = m_point[from];
        m_live[from] = 0.0;
        m_point[from] = -1;
        m_limit[from] = 0.0;
    }

    bool anyLive() const
    {
        for (int lane = 0; lane < Lanes; ++lane) {
            if (m_live[lane] > 0.0)
                return true;
        }
        return false;
    }

    bool anyPast(int steps) const
    {
        for (int lane = 0; lane < Lanes; ++lane) {
            if (m_live[lane] > 0.0 && m_n[lane] >= steps)
                return true;
        }
        return false;
    }

    const ColumnJob &m_job;
    alignas(64) double m_x[Lanes];
    alignas(64) double m_y[Lanes];
    alignas(64) double m_cy[Lanes];
    alignas(64) double m_n[Lanes];
    alignas(64) double m_limit[Lanes];
    alignas(64) double m_sx[Lanes];
    alignas(64) double m_sy[Lanes];
    alignas(64) double m_next[Lanes];
    alignas(64) double m_live[Lanes];
    int m_point[Lanes];
    int m_nextPoint = 0;
    bool m_cycleMode = false;
    ColumnWork m_work;
};

} // namespace
