#include "deep/skiptable.h"

#include "core/escapetime.h"
#include "deep/lanejob.h"

#include <algorithm>
#include <cmath>

// The bounds hold only for the written order of double operations.
#ifdef __FAST_MATH__
#error "the skip table's bounds must not be built with -ffast-math"
#endif

namespace {

using namespace DeepBound;

// Takes a rounded nonnegative quotient or difference safely below its exact value.
constexpr double Down = 1.0 - 16.0 * U;
// Room below the escape bound for the reference's own rounding at P bits.
constexpr double SafeBound = EscapeBound * (1.0 - 0x1p-30);
// A hard step is one whose radius lies below this share of the delta the
// view's corner has there: a node across it would serve only pixels some
// 4,000 times nearer the centre, fewer than one in a 1920 × 1080 picture.
constexpr double HardShare = 0x1p-12;

// An upper bound on the modulus. Not |x| + |y|: up to √2 too large, and
// the bounds multiply moduli level by level, node by node.
double size(double x, double y)
{
    return std::sqrt(x * x + y * y) * (1.0 + 4.0 * U) + Tiny;
}

bool finite(const SkipNode &node)
{
    return std::isfinite(node.ax) && std::isfinite(node.ay) && std::isfinite(node.bx)
           && std::isfinite(node.by) && std::isfinite(node.k1) && std::isfinite(node.k2);
}

} // namespace

struct SkipTable::Built
{
    SkipNode node;
    double radius = -1.0;
    std::int64_t steps = 0;
};

SkipTable::SkipTable(const double *zx, const double *zy, std::int64_t last, double dcRadius,
                     double epsilon, FloatExp corner)
    : m_dcRadius(dcRadius), m_epsilon(epsilon)
{
    // Single steps at m = 1 … singles land at most at last − 1.
    const std::int64_t singles = std::min(last - 2, MaxSteps);
    if (singles < 2)
        return;
    index(hardSteps(zx, zy, singles, corner), singles);
    m_nodes.assign(m_reach.size(), SkipNode{});
    // From the last start back, so that the nodes a node is made of (those
    // of later starts) are built before it.
    for (std::int64_t m = singles; m >= 1; --m) {
        buildStart(zx, zy, m);
        Start &here = m_start[std::size_t(m)];
        if (nodesAt(m) > 0)
            here.radius = m_reach[here.longest].radius;
    }
}

// hard[m] for m = 1 … singles: where epsilon·|2Z(m)| is below HardShare of
// |D(m)|, the linear delta of the view's corner, D(1) = rc,
// D(m + 1) = 2Z(m)·D(m) + rc (an estimate: it only places the cuts, the
// nodes' bounds do not rest on it). Near returns to 0 of the reference are
// hard; so is every step once D is large. D runs in units of 2^scale, so
// that a corner below the double range (rc = corner) places its cuts too.
std::vector<bool> SkipTable::hardSteps(const double *zx, const double *zy,
                                       std::int64_t singles, FloatExp corner) const
{
    constexpr double Large = 0x1p600;
    std::vector<bool> hard(std::size_t(singles) + 1, true);
    const bool scaled = corner.m != 0.0;
    double rc = scaled ? corner.m : m_dcRadius;
    std::int64_t scale = scaled ? corner.e : 0;
    double dx = rc, dy = 0.0;
    for (std::int64_t m = 1; m <= singles; ++m) {
        const double reach = m_epsilon * 2.0 * std::hypot(zx[m], zy[m]);
        const double dSize = HardShare * std::hypot(dx, dy);
        hard[std::size_t(m)] = !(reach >= std::ldexp(dSize, int(scale)));
        const double ax = 2.0 * zx[m], ay = 2.0 * zy[m];
        const double nx = (ax * dx - ay * dy) + rc;
        dy = ax * dy + ay * dx;
        dx = nx;
        if (std::fabs(dx) + std::fabs(dy) > Large) {
            dx /= Large;
            dy /= Large;
            rc /= Large;
            scale += 600;
        }
    }
    return hard;
}

// The stretches between hard steps and the lengths of each start's nodes:
// at s + j in a stretch of l steps from s, 2^k steps for every k >= 1 with
// 2^k dividing j and j + 2^k <= l; at s, l steps too where l is longer.
void SkipTable::index(const std::vector<bool> &hard, std::int64_t singles)
{
    m_starts = singles + 1;
    m_start.assign(std::size_t(m_starts) + 1, Start{});
    m_count.assign(std::size_t(m_starts) + 1, 0);
    std::vector<std::int64_t> lengths;
    std::size_t first = 0; // start m's first slot
    std::int64_t start = 1, length = 0; // the stretch of m
    for (std::int64_t m = 1; m <= singles; ++m) {
        if (!hard[std::size_t(m)]) {
            if (m == 1 || hard[std::size_t(m) - 1]) {
                start = m;
                length = 0;
                while (m + length <= singles && !hard[std::size_t(m + length)])
                    ++length;
            }
            const std::int64_t j = m - start;
            std::int64_t steps = 2;
            for (; (j & (steps - 1)) == 0 && j + steps <= length; steps *= 2)
                lengths.push_back(steps);
            if (j == 0 && length > steps / 2)
                lengths.push_back(length);
        }
        const std::size_t count = lengths.size() - first;
        m_count[std::size_t(m)] = std::uint8_t(count);
        if (count > 0) {
            m_start[std::size_t(m)].steps = std::uint32_t(lengths.back());
            m_start[std::size_t(m)].longest = std::uint32_t(lengths.size() - 1);
        }
        first = lengths.size();
    }
    for (std::int64_t m = 1; m <= singles; ++m) {
        Start &here = m_start[std::size_t(m)];
        if (nodesAt(m) > 0 && nodesAt(m + here.steps) > 0)
            here.steps |= Start::Onward;
    }
    m_reach.assign(lengths.size(), Reach{});
    for (std::size_t k = 0; k < lengths.size(); ++k)
        m_reach[k].steps = lengths[k];
}

// The nodes of start m, shortest first: a binary node of 2^k steps is its
// half of 2^(k−1) here and the one after it; the whole stretch is made of
// the longest nodes in turn, as a lane would skip it.
void SkipTable::buildStart(const double *zx, const double *zy, std::int64_t m)
{
    for (int i = 0; i < nodesAt(m); ++i) {
        const std::int64_t length = steps(m, i);
        const std::int64_t half = length / 2;
        if ((length & (length - 1)) != 0)
            put(m, i, whole(zx, zy, m, length));
        else if (length == 2)
            put(m, i, merge(step(zx, zy, m), step(zx, zy, m + 1)));
        else
            put(m, i, merge(built(m, i - 1), built(m + half, nodesAt(m + half) - 1)));
    }
}

SkipTable::Built SkipTable::whole(const double *zx, const double *zy, std::int64_t m,
                                  std::int64_t length) const
{
    Built result = built(m, nodesAt(m) - 2);
    std::int64_t at = m + result.steps;
    while (at < m + length) {
        const Built next = nodesAt(at) > 0 ? built(at, nodesAt(at) - 1) : step(zx, zy, at);
        result = merge(result, next);
        at += next.steps;
    }
    return result;
}

void SkipTable::put(std::int64_t m, int i, const Built &built)
{
    m_nodes[slot(m, i)] = built.node;
    m_reach[slot(m, i)].radius = built.radius;
}

SkipTable::Built SkipTable::built(std::int64_t m, int i) const
{
    return {node(m, i), radius(m, i), steps(m, i)};
}

// One step at Z = Z(m): g(w) = 2Z·w + w² + dc exactly, A = 2Z̃ for the
// stored double Z̃, B = 1, so g(w) − (A·w + dc) = 2(Z − Z̃)·w + w², at most
// (u·|2Z̃|·(1 + 2u) + tiny + r)·|w| for |w| <= r.
SkipTable::Built SkipTable::step(const double *zx, const double *zy, std::int64_t m) const
{
    Built built;
    built.steps = 1;
    SkipNode &node = built.node;
    node.ax = 2.0 * zx[m];
    node.ay = 2.0 * zy[m];
    node.bx = 1.0;
    node.by = 0.0;
    node.sizeA = size(node.ax, node.ay);
    node.sizeB = size(node.bx, node.by);
    const double sA = node.sizeA;
    const double r = m_epsilon * sA * Down;
    node.k1 = (r + U * sA * (1.0 + 2.0 * U) + Tiny) * Up;
    node.k2 = 0.0;
    // The exact |Z(m+1) + g(w)|: |2Z|·|w| + |w|² <= (sA + k1)·r.
    const double reach = (size(zx[m + 1], zy[m + 1]) * (1.0 + 2.0 * U)
                          + (sA + node.k1) * r + m_dcRadius) * Up;
    built.radius = r > 0.0 && reach * reach * Up <= SafeBound ? r : -1.0;
    return built;
}

// x, then y: g = g_y ∘ g_x. With e_x, e_y the two nodes' errors,
//   g(w) = A_y·A_x·w + (A_y·B_x + B_y)·dc + A_y·e_x + e_y,
//   |e_y| <= k1_y·|g_x(w)| + k2_y·|dc|, |g_x(w)| <= (|A_x| + k1_x)|w| + (|B_x| + k2_x)|dc|,
// plus the rounding of the stored products: a complex product's parts are
// off by 3u of |a|·|b| in |x| + |y|, so by 6u in modulus; a sum adds 2u.
SkipTable::Built SkipTable::merge(const Built &xb, const Built &yb) const
{
    Built built;
    built.steps = xb.steps + yb.steps;
    if (xb.radius < 0.0 || yb.radius < 0.0)
        return built;
    const SkipNode &x = xb.node, &y = yb.node;
    SkipNode &node = built.node;
    node.ax = y.ax * x.ax - y.ay * x.ay;
    node.ay = y.ax * x.ay + y.ay * x.ax;
    const double px = y.ax * x.bx - y.ay * x.by;
    const double py = y.ax * x.by + y.ay * x.bx;
    node.bx = px + y.bx;
    node.by = py + y.by;
    node.sizeA = size(node.ax, node.ay);
    node.sizeB = size(node.bx, node.by);
    const double sAx = x.sizeA, sBx = x.sizeB, sAy = y.sizeA, sBy = y.sizeB;
    node.k1 = (y.k1 * (sAx + x.k1) + sAy * x.k1 + 6.0 * U * sAy * sAx + Tiny) * Up;
    node.k2 = (y.k1 * (sBx + x.k2) + y.k2 + sAy * x.k2 + 8.0 * U * (sAy * sBx + sBy) + Tiny)
              * Up;
    // The ball after x must lie within y's radius.
    const double room = yb.radius - (sBx + x.k2) * m_dcRadius * Up;
    const double grow = (sAx + x.k1) * Up;
    const double r = std::min(xb.radius, room / grow * Down);
    if (r > 0.0 && finite(node) && std::isfinite(node.sizeA) && std::isfinite(node.sizeB))
        built.radius = r;
    return built;
}

std::size_t SkipTable::bytes() const
{
    return m_nodes.capacity() * sizeof(SkipNode) + m_reach.capacity() * sizeof(Reach)
           + m_start.capacity() * sizeof(Start) + m_count.capacity();
}
