#pragma once

// The vector column kernel, written once over a small register interface V
// and compiled once per instruction set by the lanes_*.cpp files. Include it
// only there, after <immintrin.h> and the V definition.
//
// Everything here lives in an anonymous namespace on purpose: each file is
// built with different -m flags, and a function with external linkage could
// be merged by the linker with another file's copy, letting AVX-512 code run
// on a processor that only has SSE2.

#include "core/columnjob.h"
#include "core/escapetime.h"

#include <algorithm>
#include <type_traits>

namespace {

// Steps between two looks at the lanes. A lane always starts at a block
// boundary, so a lane still running has taken a multiple of Block steps.
constexpr int Block = 16;
static_assert(CycleCheckAfter % Block == 0,
              "a lane must reach the cycle threshold at a block boundary");

// Steps between two cycle compares: twice a block, since a period p is
// caught only once a gap holds a multiple of both p and Look.
constexpr int Look = Block / 2;

// The first step count at which a lane saves z for the cycle comparison.
constexpr double FirstSave = 8.0;

// The lanes compare z only at block ends, so an odd period p is caught only
// once the gap to the next save holds p · Block steps. Their gap therefore
// grows by three sixteenths of the step count instead of the scalar path's
// one sixteenth: example 4 at Imax 32767 takes 13 % fewer steps.
constexpr double LaneSaveGapShare = 0.1875;

// Blocks a stopped lane may idle before the registers are refilled.
constexpr int WaitBlocks = 2;

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

// The state of every lane between two runs of the registers, one array per
// quantity so that a register loads straight from it. All of it is doubles
// so that the whole loop stays in vector registers (counts up to 32767 are
// exact). `limit` is the step count at which the lane stops for a look;
// -1 marks a lane whose orbit was found to repeat.
template <int Lanes>
struct LaneArrays
{
    alignas(64) double x[Lanes];
    alignas(64) double y[Lanes];
    alignas(64) double cx[Lanes];
    alignas(64) double cy[Lanes];
    alignas(64) double n[Lanes];
    alignas(64) double limit[Lanes];
    alignas(64) double savedX[Lanes];
    alignas(64) double savedY[Lanes];
    alignas(64) double nextSave[Lanes];
    alignas(64) double live[Lanes];
    int point[Lanes];

    void move(int from, int to)
    {
        x[to] = x[from];
        y[to] = y[from];
        cx[to] = cx[from];
        cy[to] = cy[from];
        n[to] = n[from];
        limit[to] = limit[from];
        savedX[to] = savedX[from];
        savedY[to] = savedY[from];
        nextSave[to] = nextSave[from];
        live[to] = live[from];
        point[to] = point[from];
        live[from] = 0.0;
        point[from] = -1;
    }
};

// The values every register needs, broadcast once per run.
template <class V>
struct LaneConstants
{
    typename V::D two = V::set1(2.0);
    typename V::D one = V::set1(1.0);
    typename V::D bound = V::set1(EscapeBound);
    typename V::D repeatMark = V::set1(-1.0);
    typename V::D gapGrowth = V::set1(1.0 + LaneSaveGapShare);
    typename V::D minimumGap = V::set1(MinimumSaveGap);
    typename V::D blockSteps = V::set1(Block);
    typename V::D lookSteps = V::set1(Look);
    typename V::D far = V::set1(32768.0); // beyond every limit
};

// The first Used registers of lanes, loaded from the arrays. A lane is
// active while m <= bound and n < limit, as in the plain loop; once inactive
// it stays so until it is refilled, and its n no longer moves.
template <class V, int Used>
struct LaneRegisters
{
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int W = V::Width;

    D x[Used], y[Used], cx[Used], cy[Used], n[Used], limit[Used];
    D savedX[Used], savedY[Used], nextSave[Used];
    M active[Used];
    unsigned live[Used];

    template <int Lanes>
    void load(const LaneArrays<Lanes> &a)
    {
        for (int g = 0; g < Used; ++g) {
            x[g] = V::load(a.x + g * W);
            y[g] = V::load(a.y + g * W);
            cx[g] = V::load(a.cx + g * W);
            cy[g] = V::load(a.cy + g * W);
            n[g] = V::load(a.n + g * W);
            limit[g] = V::load(a.limit + g * W);
            savedX[g] = V::load(a.savedX + g * W);
            savedY[g] = V::load(a.savedY + g * W);
            nextSave[g] = V::load(a.nextSave + g * W);
            active[g] = V::lt(V::set1(0.0), V::load(a.live + g * W));
            live[g] = V::bits(active[g]);
        }
    }

    template <int Lanes>
    void store(LaneArrays<Lanes> &a) const
    {
        for (int g = 0; g < Used; ++g) {
            V::store(a.x + g * W, x[g]);
            V::store(a.y + g * W, y[g]);
            V::store(a.n + g * W, n[g]);
            V::store(a.limit + g * W, limit[g]);
            V::store(a.savedX + g * W, savedX[g]);
            V::store(a.savedY + g * W, savedY[g]);
            V::store(a.nextSave + g * W, nextSave[g]);
        }
    }

    // Blocks that no active lane can end at or beyond its limit.
    int blocksClearOfLimits(const LaneConstants<V> &k) const
    {
        D least = k.far;
        for (int g = 0; g < Used; ++g)
            least = V::min(least, V::select(active[g], V::sub(limit[g], n[g]), least));
        alignas(64) double lanes[W];
        V::store(lanes, least);
        const double steps = *std::min_element(lanes, lanes + W);
        return static_cast<int>(steps - 1.0) / Block;
    }

    // Whether some active lane reaches its limit within the next `steps`.
    bool limitWithin(const LaneConstants<V> &k, double steps) const
    {
        const typename V::D ahead = V::set1(steps);
        unsigned near = 0;
        for (int g = 0; g < Used; ++g)
            near |= V::bits(V::both(active[g], V::le(limit[g], V::add(n[g], ahead))));
        return near != 0;
    }

    // A block with the plain loop's bookkeeping at every step; needed only
    // when a limit falls inside the block.
    template <bool CheckLimit>
    void block(const LaneConstants<V> &k)
    {
        for (int u = 0; u < Block; ++u) {
            for (int g = 0; g < Used; ++g) {
                laneStep<V>(x[g], y[g], cx[g], cy[g], k.two);
                n[g] = V::addWhere(n[g], active[g], k.one);
                M goesOn = V::le(laneMagnitude<V>(x[g], y[g]), k.bound);
                if constexpr (CheckLimit)
                    goesOn = V::both(goesOn, V::lt(n[g], limit[g]));
                active[g] = V::both(active[g], goesOn);
            }
        }
    }

    // A block in which only z moves: an orbit with |z|² > bound never comes
    // back inside (from there on |z| > 2.2 >= |c|, and an overflow leaves
    // |z|² infinite or NaN), so |z|² after the last step tells which lanes
    // escaped within the block. Their n stays at the block's start, where z
    // is kept in startX and startY so that the exact step can be replayed.
    // A limit may only fall on the block's end, and only where LimitAtEnd
    // says so. Returns the escaped lanes.
    template <bool LimitAtEnd, bool Cycles>
    unsigned freeBlock(const LaneConstants<V> &k, double *startX, double *startY)
    {
        for (int g = 0; g < Used; ++g) {
            V::store(startX + g * W, x[g]);
            V::store(startY + g * W, y[g]);
        }
        for (int u = 0; u < Block; ++u) {
            for (int g = 0; g < Used; ++g)
                laneStep<V>(x[g], y[g], cx[g], cy[g], k.two);
            if constexpr (Cycles) {
                if (u == Look - 1)
                    checkRepeats<true>(k);
            }
        }
        unsigned escaped = 0;
        for (int g = 0; g < Used; ++g) {
            const M inside = V::le(laneMagnitude<V>(x[g], y[g]), k.bound);
            escaped |= V::bits(V::butNot(active[g], inside)) << (g * W);
            active[g] = V::both(active[g], inside);
            n[g] = V::addWhere(n[g], active[g], k.blockSteps);
            if constexpr (LimitAtEnd)
                active[g] = V::both(active[g], V::lt(n[g], limit[g]));
        }
        return escaped;
    }

    void addSteps(const double *steps)
    {
        for (int g = 0; g < Used; ++g)
            n[g] = V::add(n[g], V::load(steps + g * W));
    }

    // Brent's method: z equal to a saved earlier z of the same orbit, x and
    // y compared exactly, means the orbit repeats from here on and never
    // escapes. (+0 and -0 compare equal; such orbits differ at most in the
    // sign of a zero, which no later |z|² can tell apart.) Then z is saved
    // again at growing gaps. The look comes every Look steps, so a period p
    // is caught once a gap holds a multiple of both p and Look.
    //
    // In the middle of a block (MidBlock) n is Look behind, and a lane that
    // escaped in the first half still counts as active: its |z|² > bound
    // cannot equal a saved z, and whatever it saves dies with the lane.
    // A repeat is rare, so marking one is kept off the common path.
    template <bool MidBlock>
    void checkRepeats(const LaneConstants<V> &k)
    {
        D now[Used];
        for (int g = 0; g < Used; ++g)
            now[g] = MidBlock ? V::add(n[g], k.lookSteps) : n[g];
        M repeats[Used];
        unsigned any = 0;
        for (int g = 0; g < Used; ++g) {
            repeats[g] = V::both(active[g], V::both(V::eq(x[g], savedX[g]),
                                                    V::eq(y[g], savedY[g])));
            any |= V::bits(repeats[g]);
        }
        if (any != 0) {
            for (int g = 0; g < Used; ++g) {
                limit[g] = V::select(repeats[g], k.repeatMark, limit[g]);
                active[g] = V::butNot(active[g], repeats[g]);
                n[g] = V::select(repeats[g], now[g], n[g]);
            }
        }
        for (int g = 0; g < Used; ++g) {
            const M save = V::both(active[g], V::le(nextSave[g], now[g]));
            savedX[g] = V::select(save, x[g], savedX[g]);
            savedY[g] = V::select(save, y[g], savedY[g]);
            nextSave[g] = V::select(save, V::add(V::mul(now[g], k.gapGrowth), k.minimumGap),
                                    nextSave[g]);
        }
    }

    // Lanes that stopped since the load, as bits (lane g * W + k is bit
    // g * W + k).
    unsigned stopped() const
    {
        unsigned bits = 0;
        for (int g = 0; g < Used; ++g)
            bits |= (V::bits(active[g]) ^ live[g]) << (g * W);
        return bits;
    }

    unsigned liveLanes() const
    {
        unsigned bits = 0;
        for (int g = 0; g < Used; ++g)
            bits |= live[g] << (g * W);
        return bits;
    }
};

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
