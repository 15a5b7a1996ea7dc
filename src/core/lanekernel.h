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
#include <vector>

namespace {

// G registers of V::Width lanes each work through a list of points, each
// lane with its own c. A lane that finishes hands its count back and takes
// the next point of the list, so the registers stay full until the list runs
// out: the slow points of many columns run side by side rather than each
// alone at the end of its column.
//
// Outside the set a lane runs without the cycle check. A lane still inside
// after CycleCheckAfter steps is set aside with its z; once the list is
// done, the set-aside points go on from there in cycle mode. So the short
// orbits of escaping points never pay for cycle checks, and the long ones
// run side by side with few refills.
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
            const int used = morePoints() ? G : compact();
            settle(m_cycleMode ? runFirst<true>(used) : runFirst<false>(used));
        }
        return m_work;
    }

private:
    static constexpr int W = V::Width;
    static constexpr int Lanes = W * G;
    static_assert(Lanes <= 64, "lane bits are kept in one LaneBits");

    template <bool Cycles, int Used = G>
    LaneBits runFirst(int used)
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
    LaneBits runRegisters()
    {
        constexpr int Steps = stepsPerBlock(Cycles);
        LaneRegisters<V, Used> r;
        r.load(m_lanes);
        const LaneBits live = r.liveLanes();
        LaneBits stopped = 0;
        // Lanes only ever stop, so the blocks counted here stay clear of
        // every limit however many lanes stop meanwhile.
        int clearBlocks = r.template blocksClearOfLimits<Steps>(m_constants);
        for (int waited = 0;; waited += stopped != 0 ? 1 : 0, --clearBlocks) {
            const bool nearLimit = clearBlocks <= 0 && r.limitWithin(m_constants, Steps);
            LaneBits escaped = 0;
            if (nearLimit && r.limitWithin(m_constants, Steps - 1))
                r.template block<true, Steps>(m_constants);
            else if (nearLimit)
                escaped = r.template freeBlock<true, Cycles>(m_constants, m_start.x, m_start.y);
            else
                escaped = r.template freeBlock<false, Cycles>(m_constants, m_start.x, m_start.y);
            if (escaped != 0)
                r.addSteps(escapeSteps(escaped, Steps));
            if constexpr (Cycles)
                r.template checkRepeats<false>(m_constants);
            // Only an escape, a repeat or a limit stops a lane.
            if (escaped != 0 || r.repeated || nearLimit)
                stopped = r.stopped();
            if (stopped != 0
                && (nearLimit || stopped == live || waited == WaitBlocks
                    || __builtin_popcountll(stopped) >= W))
                break;
        }
        r.store(m_lanes);
        return stopped;
    }

    // The steps each escaped lane took within the block, replayed from the
    // block's start with the same operations, up to W lanes side by side in
    // one register (a short dependent chain either way, so W lanes cost
    // about what one does); 0 for the other lanes.
    const double *escapeSteps(LaneBits escaped, int blockLength)
    {
        std::fill(m_start.steps, m_start.steps + Lanes, 0.0);
        while (escaped != 0) {
            int lanes[W];
            alignas(64) double x[W], y[W], cx[W], cy[W], steps[W];
            int taken = 0;
            for (; taken < W && escaped != 0; ++taken, escaped &= escaped - 1)
                lanes[taken] = __builtin_ctzll(escaped);
            // Unused places repeat the first lane; their steps are dropped.
            for (int k = 0; k < W; ++k) {
                const int lane = lanes[k < taken ? k : 0];
                x[k] = m_start.x[lane];
                y[k] = m_start.y[lane];
                cx[k] = m_lanes.cx[lane];
                cy[k] = m_lanes.cy[lane];
            }
            typename V::D vx = V::load(x), vy = V::load(y);
            const typename V::D vcx = V::load(cx), vcy = V::load(cy);
            typename V::D count = V::set1(0.0);
            typename V::M going = V::le(count, count);
            for (int step = 0; step < blockLength && V::bits(going) != 0; ++step) {
                laneStep<V>(vx, vy, vcx, vcy, m_constants.two);
                count = V::addWhere(count, going, m_constants.one);
                going = V::both(going, V::le(laneMagnitude<V>(vx, vy), m_constants.bound));
            }
            V::store(steps, count);
            for (int k = 0; k < taken; ++k)
                m_start.steps[lanes[k]] = steps[k];
        }
        return m_start.steps;
    }

    // Why each stopped lane stopped, decided from its stored state.
    void settle(LaneBits stopped)
    {
        const double imax = m_job.imax;
        for (; stopped != 0; stopped &= stopped - 1) {
            const int lane = __builtin_ctzll(stopped);
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
                setAside(lane);
            }
        }
        // Lanes that took set-aside points run in cycle mode, and so do
        // the registers from now on.
        if (m_nextAside > 0 && !m_cycleMode)
            setCycleMode();
    }

    void setAside(int lane)
    {
        m_aside.push_back({m_lanes.point[lane], m_lanes.x[lane], m_lanes.y[lane]});
        --m_liveLanes;
        refill(lane);
    }

    // The lane reached the cycle threshold at the end of a block, so its z
    // is its own; the step that got there may have escaped as well.
    bool escapedAtThreshold(int lane) const
    {
        const double x = m_lanes.x[lane];
        const double y = m_lanes.y[lane];
        return !(x * x + y * y <= EscapeBound);
    }

    void setCycleMode()
    {
        m_cycleMode = true;
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

    bool morePoints() const
    {
        return m_nextPoint < m_job.points || m_nextAside < m_aside.size();
    }

    // The list's next point, else a set-aside one where it stopped (taken
    // only in cycle mode, which settle() switches on), else nothing.
    void refill(int lane)
    {
        int point = takePoint();
        double x = 0.0, y = 0.0, n = 0.0, limit = freshLimit();
        if (point < 0 && m_nextAside < m_aside.size()) {
            const SetAside &aside = m_aside[m_nextAside++];
            point = aside.point;
            x = aside.x;
            y = aside.y;
            n = CycleCheckAfter;
            limit = m_job.imax;
        }
        const bool more = point >= 0;
        m_liveLanes += more ? 1 : 0;
        m_lanes.point[lane] = point;
        m_lanes.live[lane] = more ? 1.0 : 0.0;
        m_lanes.x[lane] = x;
        m_lanes.y[lane] = y;
        m_lanes.n[lane] = n;
        m_lanes.cx[lane] = more ? m_job.cx[point] : 0.0;
        m_lanes.cy[lane] = more ? m_job.cy[point] : 0.0;
        m_lanes.limit[lane] = more ? limit : 0.0;
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

    const ColumnJob &m_job;
    const LaneConstants<V> m_constants;
    LaneArrays<Lanes> m_lanes;
    struct
    {
        alignas(64) double x[Lanes];
        alignas(64) double y[Lanes];
        alignas(64) double steps[Lanes];
    } m_start;
    struct SetAside
    {
        int point;
        double x, y; // after CycleCheckAfter steps
    };
    std::vector<SetAside> m_aside;
    std::size_t m_nextAside = 0;
    int m_liveLanes = 0;
    int m_nextPoint = 0;
    bool m_cycleMode = false;
    ColumnWork m_work;
};

} // namespace
