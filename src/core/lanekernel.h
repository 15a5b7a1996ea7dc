#pragma once

// The vector column kernel, written once over a small register interface V
// and compiled once per instruction set by the lanes_*.cpp files. Include it
// only there, after <immintrin.h> and the V definition.
//
// Everything here lives in an anonymous namespace on purpose: each file is
// built with different -m flags, and a function with external linkage could
// be merged by the linker with another file's copy, letting AVX-512 code run
// on a processor that only has SSE2.

#include "core/laneregisters.h"

#include <algorithm>

namespace {

// G registers of V::Width lanes each work through a list of points, each
// lane with its own c. A lane that finishes hands its count back and takes
// the next point of the list, so the registers stay full until the list runs
// out: the slow points of many columns run side by side rather than each
// alone at the end of its column.
//
// Outside the set a lane runs without the cycle check. A lane still inside
// after CycleCheckAfter steps switches all registers to cycle mode, which
// lasts while some lane is that far.
template <class V, int G>
class LaneKernel
{
public:
    explicit LaneKernel(const ColumnJob &job) : m_job(job) {}

    ColumnWork run()
    {
        for (int lane = 0; lane < Lanes; ++lane)
            refill(lane);
        while (m_liveLanes > 0) {
            // Once the list has no points left, the remaining lanes move
            // into as few registers as they fit, so that the last slow points
            // do not drag empty registers along.
            const int used = m_nextPoint < m_job.points ? G : compact();
            settle(m_cycleMode ? runFirst<true>(used) : runFirst<false>(used));
        }
        return m_work;
    }

private:
    static constexpr int W = V::Width;
    static constexpr int Lanes = W * G;
    static_assert(Lanes <= 32, "lane bits are kept in one unsigned");

    template <bool Cycles, int Used = G>
    unsigned runFirst(int used)
    {
        if constexpr (Used > 1) {
            if (used < Used)
                return runFirst<Cycles, Used - 1>(used);
        }
        return runRegisters<Cycles, Used>();
    }

    // Runs whole blocks on the first Used registers until lanes stopped;
    // returns the lanes that stopped.
    //
    // Storing, refilling and reloading the registers costs about a block,
    // so a lone stopped lane idles for up to WaitBlocks blocks while others
    // may stop too. Not after a block that could reach a limit, though: a
    // lane at the cycle threshold goes on afterwards and needs its z as it
    // was at that step.
    template <bool Cycles, int Used>
    unsigned runRegisters()
    {
        LaneRegisters<V, Used> r;
        r.load(m_lanes);
        const unsigned live = r.liveLanes();
        unsigned stopped = 0;
        // Lanes only ever stop, so the blocks counted here stay clear of
        // every limit however many lanes stop meanwhile.
        int clearBlocks = r.blocksClearOfLimits(m_constants);
        for (int waited = 0;; waited += stopped != 0 ? 1 : 0, --clearBlocks) {
            const bool nearLimit = clearBlocks <= 0 && r.limitWithin(m_constants, Block);
            unsigned escaped = 0;
            if (nearLimit && r.limitWithin(m_constants, Block - 1))
                r.template block<true>(m_constants);
            else if (nearLimit)
                escaped = r.template freeBlock<true, Cycles>(m_constants, m_start.x, m_start.y);
            else
                escaped = r.template freeBlock<false, Cycles>(m_constants, m_start.x, m_start.y);
            if (escaped != 0)
                r.addSteps(escapeSteps(escaped));
            if constexpr (Cycles)
                r.template checkRepeats<false>(m_constants);
            stopped = r.stopped();
            if (stopped != 0
                && (nearLimit || stopped == live || waited == WaitBlocks
                    || __builtin_popcount(stopped) >= W))
                break;
        }
        r.store(m_lanes);
        return stopped;
    }

    // The steps each escaped lane took within the block, replayed one lane
    // at a time from the block's start with the same operations; 0 for the
    // other lanes.
    const double *escapeSteps(unsigned escaped)
    {
        std::fill(m_start.steps, m_start.steps + Lanes, 0.0);
        for (; escaped != 0; escaped &= escaped - 1) {
            const int lane = __builtin_ctz(escaped);
            double x = m_start.x[lane];
            double y = m_start.y[lane];
            const double cx = m_lanes.cx[lane];
            const double cy = m_lanes.cy[lane];
            int step = 1;
            for (;; ++step) {
                const double xNext = (x * x - y * y) + cx;
                y = ((2.0 * x) * y) + cy;
                x = xNext;
                if (!(x * x + y * y <= EscapeBound) || step == Block)
                    break;
            }
            m_start.steps[lane] = step;
        }
        return m_start.steps;
    }

    // Why each stopped lane stopped, decided from its stored state.
    void settle(unsigned stopped)
    {
        const double imax = m_job.imax;
        bool reachedThreshold = false;
        for (; stopped != 0; stopped &= stopped - 1) {
            const int lane = __builtin_ctz(stopped);
            const double n = m_lanes.n[lane];
            const double limit = m_lanes.limit[lane];
            if (limit < 0.0) {
                ++m_work.cyclesFound;
                finish(lane, m_job.imax, n);
            } else if (n >= imax || n < limit) {
                finish(lane, static_cast<std::int16_t>(n), n);
            } else if (escapedAtThreshold(lane)) {
                finish(lane, static_cast<std::int16_t>(n), n);
            } else {
                reachedThreshold = true;
            }
        }
        if (reachedThreshold)
            setCycleMode(true);
        else if (m_cycleMode && !anyPastThreshold())
            setCycleMode(false);
    }

    // The lane reached the cycle threshold at the end of a block, so its z
    // is its own; the step that got there may have escaped as well.
    bool escapedAtThreshold(int lane) const
    {
        const double x = m_lanes.x[lane];
        const double y = m_lanes.y[lane];
        return !(x * x + y * y <= EscapeBound);
    }

    void setCycleMode(bool on)
    {
        m_cycleMode = on;
        for (int lane = 0; lane < Lanes; ++lane) {
            if (m_lanes.live[lane] > 0.0)
                m_lanes.limit[lane] = freshLimit();
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
        m_job.counts[m_lanes.point[lane]] = count;
        m_work.steps += static_cast<std::int64_t>(steps);
        --m_liveLanes;
        refill(lane);
    }

    // The list's next point that needs steps, or -1; points the closed
    // forms place inside are answered on the way.
    int takePoint()
    {
        while (m_nextPoint < m_job.points) {
            const int point = m_nextPoint++;
            if (!m_job.cycles || !insideCardioidOrDisc(m_job.cx[point], m_job.cy[point]))
                return point;
            m_job.counts[point] = m_job.imax;
            ++m_work.insideShortcuts;
        }
        return -1;
    }

    void refill(int lane)
    {
        const int point = takePoint();
        const bool more = point >= 0;
        m_liveLanes += more ? 1 : 0;
        m_lanes.point[lane] = point;
        m_lanes.live[lane] = more ? 1.0 : 0.0;
        m_lanes.x[lane] = 0.0;
        m_lanes.y[lane] = 0.0;
        m_lanes.n[lane] = 0.0;
        m_lanes.cx[lane] = more ? m_job.cx[point] : 0.0;
        m_lanes.cy[lane] = more ? m_job.cy[point] : 0.0;
        m_lanes.limit[lane] = more ? freshLimit() : 0.0;
        // NaN equals nothing: no match before the lane's first save.
        m_lanes.savedX[lane] = __builtin_nan("");
        m_lanes.savedY[lane] = __builtin_nan("");
        m_lanes.nextSave[lane] = FirstSave;
    }

    // Moves the live lanes to the front; returns the registers they need.
    int compact()
    {
        int used = 0;
        for (int lane = 0; lane < Lanes; ++lane) {
            if (m_lanes.live[lane] > 0.0) {
                if (lane != used)
                    m_lanes.move(lane, used);
                ++used;
            }
        }
        return (used + W - 1) / W;
    }

    bool anyPastThreshold() const
    {
        for (int lane = 0; lane < Lanes; ++lane) {
            if (m_lanes.live[lane] > 0.0 && m_lanes.n[lane] >= CycleCheckAfter)
                return true;
        }
        return false;
    }

    const ColumnJob &m_job;
    const LaneConstants<V> m_constants;
    LaneArrays<Lanes> m_lanes;
    struct
    {
        alignas(64) double x[Lanes];
        alignas(64) double y[Lanes];
        alignas(64) double steps[Lanes];
    } m_start;
    int m_liveLanes = 0;
    int m_nextPoint = 0;
    bool m_cycleMode = false;
    ColumnWork m_work;
};

} // namespace
