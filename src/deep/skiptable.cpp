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
    // Single steps at m = 1 … singles land at most at last − 1.
    const std::int64_t singles = std::min(last - 2, MaxSteps);
    if (singles < 2)
        return;
    std::vector<SkipNode> pairs(std::size_t(singles / 2));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const std::int64_t m = 1 + 2 * std::int64_t(i);
        pairs[i] = merge(step(zx, zy, m), step(zx, zy, m + 1));
    }
    m_levels.push_back(std::move(pairs));
    while (m_levels.back().size() >= 2) {
        const std::vector<SkipNode> &below = m_levels.back();
        std::vector<SkipNode> level(below.size() / 2);
        for (std::size_t i = 0; i < level.size(); ++i)
            level[i] = merge(below[2 * i], below[2 * i + 1]);
        m_levels.push_back(std::move(level));
    }
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

const SkipNode *SkipTable::find(std::int64_t m, double size, std::int64_t maxSteps,
                                int &level) const
{
    if (m < 1)
        return nullptr;
    const std::int64_t offset = m - 1;
    const int top = offset == 0 ? levels() : std::min(levels(), __builtin_ctzll(offset));
    for (int k = top; k >= 1; --k) {
        if ((std::int64_t(1) << k) > maxSteps)
            continue;
        const std::vector<SkipNode> &nodes = m_levels[std::size_t(k - 1)];
        const std::size_t i = std::size_t(offset >> k);
        if (i < nodes.size() && size <= nodes[i].radius) {
            level = k;
            return &nodes[i];
        }
    }
    return nullptr;
}

std::size_t SkipTable::bytes() const
{
    std::size_t total = 0;
    for (const std::vector<SkipNode> &nodes : m_levels)
        total += nodes.capacity() * sizeof(SkipNode);
    return total;
}
