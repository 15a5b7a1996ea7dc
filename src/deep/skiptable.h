#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// l steps of the perturbation from reference index m in one go:
//   dz(m + l) ≈ A·dz(m) + B·dc.
// For every exact delta w with |w| <= the node's radius (kept by the table)
// and every exact dc with |dc| <= the table's dcRadius, the exact l-step
// map g satisfies
//   |g(w) − (A·w + B·dc)| <= k1·|w| + k2·|dc|
// for the stored (rounded) A and B, and every z of the l steps it skips,
// landing included, lies inside |z|² <= 5 (with room for the reference's
// rounding): a skip never passes an escape. sizeA and sizeB are upper
// bounds on |A| and |B|, so that applying a node takes no square root.
struct SkipNode
{
    double ax = 0.0, ay = 0.0, bx = 0.0, by = 0.0;
    double k1 = 0.0, k2 = 0.0;
    double sizeA = 0.0, sizeB = 0.0;
};

// The nodes of one reference orbit for one picture. The reference is cut
// into stretches at its hard steps, where no node can usefully cross (the
// reference passes so near 0 that a node across it would take only deltas
// far smaller than the picture's own there; see hard() in the .cpp). Each
// stretch holds a binary tree aligned to its own start s: level k (k >= 1)
// has nodes of 2^k steps from s + j·2^k, none past the stretch's end, so a
// stretch of 80 steps is one skip of 64 and one of 16 from its start. The
// last stretch ends at the reference's last step but one (a skip never
// meets the reference's end). Hard steps are taken one by one.
//
// Built once a picture, after the reference, since the bounds hold for |dc|
// up to the picture's largest. The nodes of one start lie side by side,
// level by level, with their radii in an array of their own and a small
// index of where each start's nodes begin, so finding the longest node
// that fits reads a cache line or two. 64 bytes a node and 8 for its
// radius, at most one node a reference step, 4 bytes a step of index; the
// table covers at most MaxSteps steps (19 MB), later steps are taken one by
// one.
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

    // The longest node at m that fits size (an upper bound on the exact
    // |w|) and at most maxSteps steps; nullptr if none. level gets its
    // level: it skips 2^level steps.
    const SkipNode *find(std::int64_t m, double size, std::int64_t maxSteps, int &level) const
    {
        if (m < 1 || m >= m_starts)
            return nullptr;
        const std::uint32_t base = m_first[std::size_t(m)];
        const int top = int(m_first[std::size_t(m) + 1] - base);
        if (top == 0)
            return nullptr;
        // The node is a load that depends on the radii's: start it now.
        __builtin_prefetch(&m_nodes[base + std::uint32_t(top - 1)]);
        for (int k = top; k >= 1; --k) {
            if (size <= m_radius[base + std::uint32_t(k - 1)]
                && (std::int64_t(1) << k) <= maxSteps) {
                level = k;
                return &m_nodes[base + std::uint32_t(k - 1)];
            }
        }
        return nullptr;
    }
    // The number of levels of nodes starting at m (0: none), so that a
    // refusal at m with levelsAt(m) > 0 means the delta has outgrown every
    // node here.
    int levelsAt(std::int64_t m) const
    {
        return m >= 1 && m < m_starts
                   ? int(m_first[std::size_t(m) + 1] - m_first[std::size_t(m)])
                   : 0;
    }

    // The highest level anywhere in the table (0: no nodes).
    int levels() const { return m_levels; }
    // The node of 2^level steps from m, if the table has one there.
    const SkipNode *node(int level, std::int64_t m) const;
    // Its radius: below 0 where the node never applies or does not exist.
    double radius(int level, std::int64_t m) const;
    std::size_t bytes() const;

private:
    struct Built;
    std::vector<bool> hardSteps(const double *zx, const double *zy, std::int64_t singles) const;
    void index(const std::vector<bool> &hard, std::int64_t singles);
    Built step(const double *zx, const double *zy, std::int64_t m) const;
    Built merge(const Built &x, const Built &y) const;
    void put(int level, std::int64_t start, const Built &built);

    double m_dcRadius = 0.0;
    double m_epsilon = DefaultEpsilon;
    int m_levels = 0;
    std::int64_t m_starts = 0; // one past the last start with an index entry
    // The nodes of start m: m_nodes[m_first[m] + k − 1] for levels
    // k = 1 … m_first[m + 1] − m_first[m].
    std::vector<std::uint32_t> m_first;
    std::vector<SkipNode> m_nodes;
    std::vector<double> m_radius; // the nodes' radii, below 0 where refused
};
