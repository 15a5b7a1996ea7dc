#pragma once

// The vector kernel's block constants, its step, the lanes' state and what
// the registers do between two looks at the lanes, written over the register
// interface V. Part of lanekernel.h, which includes it; like that file it
// lives in an anonymous namespace on purpose.

#include "core/columnjob.h"
#include "core/escapetime.h"

#include <algorithm>
#include <cstdint>

namespace {

// One bit per lane, lane g · W + k at bit g · W + k.
using LaneBits = std::uint64_t;

// Steps between two looks at the lanes. A lane always starts at a block
// boundary, so a lane still running has taken a multiple of Block steps.
constexpr int Block = 16;
static_assert(CycleCheckAfter % Block == 0,
              "a lane must reach the cycle threshold at a block boundary");

// In cycle mode the lanes hold orbits that stay inside for long, so the
// look at a block's end, which costs a good part of a block, comes half as
// often there.
constexpr int CycleBlock = 2 * Block;

constexpr int stepsPerBlock(bool cycles) { return cycles ? CycleBlock : Block; }

// Steps between two cycle compares. A period p is caught once a gap holds a
// multiple of both p and Look.
constexpr int Look = 8;
static_assert(Block % Look == 0 && CycleBlock % Look == 0);

// The first step count at which a lane saves z for the cycle comparison.
constexpr double FirstSave = 8.0;

// A lane saves z only at the end of a block, so its gap grows by three
// sixteenths of the step count instead of the scalar path's one sixteenth:
// with odd periods, example 4 at Imax 32767 takes 13 % fewer steps.
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
    typename V::D cycleBlockSteps = V::set1(CycleBlock);
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
    bool repeated = false; // some lane's orbit was found to repeat since the load

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
    template <int Steps>
    int blocksClearOfLimits(const LaneConstants<V> &k) const
    {
        D least = k.far;
        for (int g = 0; g < Used; ++g)
            least = V::min(least, V::select(active[g], V::sub(limit[g], n[g]), least));
        alignas(64) double lanes[W];
        V::store(lanes, least);
        const double steps = *std::min_element(lanes, lanes + W);
        return static_cast<int>(steps - 1.0) / Steps;
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
    template <bool CheckLimit, int Steps>
    void block(const LaneConstants<V> &k)
    {
        for (int u = 0; u < Steps; ++u) {
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
    LaneBits freeBlock(const LaneConstants<V> &k, double *startX, double *startY)
    {
        for (int g = 0; g < Used; ++g) {
            V::store(startX + g * W, x[g]);
            V::store(startY + g * W, y[g]);
        }
        constexpr int Steps = stepsPerBlock(Cycles);
        for (int u = 0; u < Steps; ++u) {
            for (int g = 0; g < Used; ++g)
                laneStep<V>(x[g], y[g], cx[g], cy[g], k.two);
            if constexpr (Cycles) {
                if ((u + 1) % Look == 0 && u + 1 < Steps)
                    checkRepeats<true>(k, double(Steps - (u + 1)));
            }
        }
        LaneBits escaped = 0;
        for (int g = 0; g < Used; ++g) {
            const M inside = V::le(laneMagnitude<V>(x[g], y[g]), k.bound);
            escaped |= LaneBits(V::bits(V::butNot(active[g], inside))) << (g * W);
            active[g] = V::both(active[g], inside);
            n[g] = V::addWhere(n[g], active[g], Cycles ? k.cycleBlockSteps : k.blockSteps);
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
    // In the middle of a block (MidBlock) n is `ahead` steps behind, and a
    // lane that escaped earlier in the block still counts as active: its
    // |z|² > bound cannot equal a saved z. Saves come only at a block's end.
    // A repeat is rare, so marking one is kept off the common path.
    template <bool MidBlock>
    void checkRepeats(const LaneConstants<V> &k, double ahead = 0.0)
    {
        // x alone first: it rarely matches without y.
        M repeats[Used];
        unsigned any = 0;
        for (int g = 0; g < Used; ++g) {
            repeats[g] = V::both(active[g], V::eq(x[g], savedX[g]));
            any |= V::bits(repeats[g]);
        }
        if (any != 0) {
            any = 0;
            for (int g = 0; g < Used; ++g) {
                repeats[g] = V::both(repeats[g], V::eq(y[g], savedY[g]));
                any |= V::bits(repeats[g]);
            }
        }
        if (any != 0) {
            repeated = true;
            const D behind = V::set1(ahead);
            for (int g = 0; g < Used; ++g) {
                limit[g] = V::select(repeats[g], k.repeatMark, limit[g]);
                active[g] = V::butNot(active[g], repeats[g]);
                n[g] = V::select(repeats[g], V::add(n[g], behind), n[g]);
            }
        }
        if constexpr (MidBlock)
            return;
        for (int g = 0; g < Used; ++g) {
            const M save = V::both(active[g], V::le(nextSave[g], n[g]));
            savedX[g] = V::select(save, x[g], savedX[g]);
            savedY[g] = V::select(save, y[g], savedY[g]);
            nextSave[g] = V::select(save, V::add(V::mul(n[g], k.gapGrowth), k.minimumGap),
                                    nextSave[g]);
        }
    }

    // Lanes that stopped since the load, as bits (lane g * W + k is bit
    // g * W + k).
    LaneBits stopped() const
    {
        LaneBits bits = 0;
        for (int g = 0; g < Used; ++g)
            bits |= LaneBits(V::bits(active[g]) ^ live[g]) << (g * W);
        return bits;
    }

    LaneBits liveLanes() const
    {
        LaneBits bits = 0;
        for (int g = 0; g < Used; ++g)
            bits |= LaneBits(live[g]) << (g * W);
        return bits;
    }
};

} // namespace
