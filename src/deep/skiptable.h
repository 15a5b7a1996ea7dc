#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// l steps of the perturbation from reference index m in one go:
//   dz(m + l) ≈ A·dz(m) + B·dc.
// For every exact delta w with |w| <= radius and every exact dc with
// |dc| <= the table's dcRadius, the exact l-step map g satisfies
//   |g(w) − (A·w + B·dc)| <= k1·|w| + k2·|dc|
// for the stored (rounded) A and B, and every z of the l steps it skips,
// landing included, lies inside |z|² <= 5 (with room for the reference's
// rounding): a skip never passes an escape.
// A radius below 0 marks a node that never applies.
struct SkipNode
{
    double ax = 0.0, ay = 0.0, bx = 0.0, by = 0.0;
    double radius = -1.0;
    double k1 = 0.0, k2 = 0.0;
};

// The nodes of one reference orbit for one picture, as a binary tree of
// levels: level k (1 <= k) holds nodes of 2^k steps starting at reference
// indices m with m − 1 a multiple of 2^k; none crosses the reference's last
// step (a skip lands at most at last − 1). Built once a picture, after the
// reference, since the bounds hold for |dc| up to the picture's largest.
// The nodes of one start lie side by side, level by level, with their radii
// in an array of their own, so that finding the longest node that fits
// reads one or two cache lines. 64 bytes a node, about one node a
// reference step; the table covers at most MaxSteps steps (16 MB), later
// steps are taken one by one.
class SkipTable
{
public:
    static constexpr std::int64_t MaxSteps = std::int64_t(1) << 18;
    // Validity radius of one step at Z: epsilon · |2Z|, so that the step's
    // linearisation error |w|² stays below epsilon of its size, about one
    // rounding: errors carried through many near returns to 0 compound,
    // and a larger epsilon turns them into doubts. Deltas grow by a factor
    // each step, so a smaller radius costs only a few steps of each skip.
    static constexpr double DefaultEpsilon = 0x1p-53;

    SkipTable() = default;
    // zx, zy: the reference Z(0) … Z(last) rounded to doubles; dcRadius: an
    // upper bound on every |dc| of the picture.
    SkipTable(const double *zx, const double *zy, std::int64_t last, double dcRadius,
              double epsilon = DefaultEpsilon);

    // The longest node at m (m >= 1) that fits size (an upper bound on the
    // exact |w|) and at most maxSteps steps; nullptr if none. level gets
    // its level: it skips 2^level steps.
    const SkipNode *find(std::int64_t m, double size, std::int64_t maxSteps, int &level) const
    {
        const std::int64_t start = m - 1;
        if (start < 0 || (start & 1) != 0 || start >= m_singles)
            return nullptr;
        const int top = start == 0 ? m_levels : std::min(m_levels, __builtin_ctzll(start));
        if (top == 0)
            return nullptr;
        const std::size_t base = offset(start);
        // The node is a load that depends on the radii's: start it now.
        __builtin_prefetch(&m_nodes[base + std::size_t(top - 1)]);
        for (int k = top; k >= 1; --k) {
            if (size <= m_radius[base + std::size_t(k - 1)]
                && (std::int64_t(1) << k) <= maxSteps) {
                level = k;
                return &m_nodes[base + std::size_t(k - 1)];
            }
        }
        return nullptr;
    }
    // Whether m starts a node of the lowest level, so that a refusal at m
    // means the delta has outgrown every node here.
    static bool aligned(std::int64_t m) { return m >= 1 && ((m - 1) & 1) == 0; }

    int levels() const { return m_levels; }
    // The node of 2^level steps from m, if the table has one there.
    const SkipNode *node(int level, std::int64_t m) const;
    std::size_t bytes() const;

private:
    // Where the nodes of start s (even) begin: one per level k for every
    // earlier start that 2^k divides, Σ ceil(s / 2^k) = s − 1 − popcount(s − 1) + levels.
    std::size_t offset(std::int64_t start) const
    {
        return start == 0 ? 0
                          : std::size_t(start - 1 - __builtin_popcountll(start - 1) + m_levels);
    }
    SkipNode step(const double *zx, const double *zy, std::int64_t m) const;
    SkipNode merge(const SkipNode &x, const SkipNode &y) const;
    void put(int level, std::int64_t start, const SkipNode &node);

    double m_dcRadius = 0.0;
    double m_epsilon = DefaultEpsilon;
    int m_levels = 0;
    std::int64_t m_singles = 0; // single steps covered: starts 0 … m_singles − 1
    std::vector<SkipNode> m_nodes;
    std::vector<double> m_radius; // m_nodes[i].radius
};
