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

SkipTable::SkipTable(const double *zx, const double *zy, std::int64_t last, double dcRadius,
                     double epsilon)
    : m_dcRadius(dcRadius), m_epsilon(epsilon)
{
    // Single steps at m = 1 … singles (start s = m − 1) land at most at last − 1.
    const std::int64_t singles = std::min(last - 2, MaxSteps);
    if (singles < 2)
        return;
    m_singles = singles;
    while ((std::int64_t(2) << m_levels) <= singles)
        ++m_levels;
    const std::size_t slots = offset(singles + (singles & 1));
    m_nodes.assign(slots, SkipNode{});
    m_radius.assign(slots, -1.0);
    for (std::int64_t s = 0; s + 2 <= singles; s += 2)
        put(1, s, merge(step(zx, zy, s + 1), step(zx, zy, s + 2)));
    for (int k = 2; k <= m_levels; ++k) {
        const std::int64_t steps = std::int64_t(1) << k, half = steps / 2;
        for (std::int64_t s = 0; s + steps <= singles; s += steps)
            put(k, s, merge(*node(k - 1, s + 1), *node(k - 1, s + half + 1)));
    }
}

void SkipTable::put(int level, std::int64_t start, const SkipNode &node)
{
    const std::size_t slot = offset(start) + std::size_t(level - 1);
    m_nodes[slot] = node;
    m_radius[slot] = node.radius;
}

const SkipNode *SkipTable::node(int level, std::int64_t m) const
{
    const std::int64_t start = m - 1;
    if (level < 1 || level > m_levels || start < 0 || start >= m_singles
        || (start & ((std::int64_t(1) << level) - 1)) != 0)
        return nullptr;
    const std::size_t slot = offset(start) + std::size_t(level - 1);
    return slot < m_nodes.size() ? &m_nodes[slot] : nullptr;
}

// One step at Z = Z(m): g(w) = 2Z·w + w² + dc exactly, A = 2Z̃ for the
// stored double Z̃, B = 1, so g(w) − (A·w + dc) = 2(Z − Z̃)·w + w², at most
// (u·|2Z̃|·(1 + 2u) + tiny + r)·|w| for |w| <= r.
SkipNode SkipTable::step(const double *zx, const double *zy, std::int64_t m) const
{
    SkipNode node;
    node.ax = 2.0 * zx[m];
    node.ay = 2.0 * zy[m];
    node.bx = 1.0;
    node.by = 0.0;
    const double sA = size(node.ax, node.ay);
    const double r = m_epsilon * sA * Down;
    node.k1 = (r + U * sA * (1.0 + 2.0 * U) + Tiny) * Up;
    node.k2 = 0.0;
    // The exact |Z(m+1) + g(w)|: |2Z|·|w| + |w|² <= (sA + k1)·r.
    const double reach = (size(zx[m + 1], zy[m + 1]) * (1.0 + 2.0 * U)
                          + (sA + node.k1) * r + m_dcRadius) * Up;
    node.radius = r > 0.0 && reach * reach * Up <= SafeBound ? r : -1.0;
    return node;
}

// x, then y: g = g_y ∘ g_x. With e_x, e_y the two nodes' errors,
//   g(w) = A_y·A_x·w + (A_y·B_x + B_y)·dc + A_y·e_x + e_y,
//   |e_y| <= k1_y·|g_x(w)| + k2_y·|dc|, |g_x(w)| <= (|A_x| + k1_x)|w| + (|B_x| + k2_x)|dc|,
// plus the rounding of the stored products: a complex product's parts are
// off by 3u of |a|·|b| in |x| + |y|, so by 6u in modulus; a sum adds 2u.
SkipNode SkipTable::merge(const SkipNode &x, const SkipNode &y) const
{
    if (x.radius < 0.0 || y.radius < 0.0)
        return {};
    SkipNode node;
    node.ax = y.ax * x.ax - y.ay * x.ay;
    node.ay = y.ax * x.ay + y.ay * x.ax;
    const double px = y.ax * x.bx - y.ay * x.by;
    const double py = y.ax * x.by + y.ay * x.bx;
    node.bx = px + y.bx;
    node.by = py + y.by;
    const double sAx = size(x.ax, x.ay), sBx = size(x.bx, x.by);
    const double sAy = size(y.ax, y.ay), sBy = size(y.bx, y.by);
    node.k1 = (y.k1 * (sAx + x.k1) + sAy * x.k1 + 6.0 * U * sAy * sAx + Tiny) * Up;
    node.k2 = (y.k1 * (sBx + x.k2) + y.k2 + sAy * x.k2 + 8.0 * U * (sAy * sBx + sBy) + Tiny)
              * Up;
    // The ball after x must lie within y's radius.
    const double room = y.radius - (sBx + x.k2) * m_dcRadius * Up;
    const double grow = (sAx + x.k1) * Up;
    const double r = std::min(x.radius, room / grow * Down);
    if (!(r > 0.0) || !finite(node))
        return {};
    node.radius = r;
    return node;
}

std::size_t SkipTable::bytes() const
{
    return m_nodes.capacity() * sizeof(SkipNode) + m_radius.capacity() * sizeof(double);
}
