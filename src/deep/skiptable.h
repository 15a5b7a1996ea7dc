#pragma once

#include "deep/floatexp.h"

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
// far smaller than the picture's own there; see hardSteps() in the .cpp).
// Each stretch holds a binary tree aligned to its own start s: nodes of 2^k
// steps (k >= 1) from s + j·2^k, none past the stretch's end; its start
// has one more node for the whole stretch where that is not a power of
// two. So a stretch of 80 steps is one skip from its start (or one of 64
// and one of 16). The last stretch ends at the reference's last step but
// one (a skip never meets the reference's end). Hard steps are taken one by
// one.
//
// Built once a picture, after the reference, since the bounds hold for |dc|
// up to the picture's largest. The nodes of one start lie side by side,
// shortest first, with their radii and lengths in an array of their own and
// an index of where each start's nodes begin and how far its longest
// reaches, so finding the longest node that fits reads a cache line or two.
// 64 bytes a node and 16 for its radius and length, at most one node a
// reference step, 17 bytes a step of index; the table covers at most
// MaxSteps steps (25 MB), later steps are taken one by one.
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
    // upper bound on every |dc| of the picture; corner: about the largest
    // |dc| where that lies below the double range (it only places the cuts).
    SkipTable(const double *zx, const double *zy, std::int64_t last, double dcRadius,
              double epsilon = DefaultEpsilon, FloatExp corner = {});

    // The longest node at m that fits size (an upper bound on the exact
    // |w|) and at most maxSteps steps; nullptr if none. steps gets its
    // length.
    const SkipNode *find(std::int64_t m, double size, std::int64_t maxSteps,
                         std::int64_t &steps) const
    {
        if (nodesAt(m) == 0)
            return nullptr;
        const std::size_t first = slot(m, 0);
        std::size_t at = start(m).longest + 1;
        // The node is a load that depends on the radii's: start it now.
        __builtin_prefetch(&m_nodes[at - 1]);
        while (at-- > first) {
            const Reach &reach = m_reach[at];
            if (size <= reach.radius && reach.steps <= maxSteps) {
                steps = reach.steps;
                return &m_nodes[at];
            }
        }
        return nullptr;
    }
    // Start m's longest node, which a lane that has just taken a hard step
    // mostly fits (the whole stretch): its radius (below 0 where none
    // starts), length and slot in one load. Empty for m = 0 and past the
    // table.
    struct Start
    {
        // Set in steps where the node lands where more nodes start.
        static constexpr std::uint32_t Onward = 1u << 31;
        double radius = -1.0;
        std::uint32_t steps = 0;
        std::uint32_t longest = 0;
    };
    const Start &start(std::int64_t m) const { return m_start[std::size_t(std::min(m, m_starts))]; }
    // Starts loading what find(m, …) reads first, the longest node at m
    // and its radius, so that a lane's next look finds them in the cache.
    void prefetch(std::int64_t m) const
    {
        if (nodesAt(m) > 0) {
            __builtin_prefetch(&m_reach[start(m).longest]);
            __builtin_prefetch(&m_nodes[start(m).longest]);
        }
    }
    const SkipNode &nodeAt(std::int64_t slot) const { return m_nodes[std::size_t(slot)]; }
    // The number of nodes starting at m (0: none), so that a refusal at m
    // with nodesAt(m) > 0 means the delta has outgrown every node here.
    int nodesAt(std::int64_t m) const { return m_count[std::size_t(std::min(m, m_starts))]; }
    bool empty() const { return m_nodes.empty(); }

    // Node i (0 … nodesAt(m) − 1, shortest first) of start m, its radius
    // (below 0 where it never applies) and its length in steps.
    const SkipNode &node(std::int64_t m, int i) const { return m_nodes[slot(m, i)]; }
    double radius(std::int64_t m, int i) const { return m_reach[slot(m, i)].radius; }
    std::int64_t steps(std::int64_t m, int i) const { return m_reach[slot(m, i)].steps; }
    std::size_t bytes() const;

private:
    struct Reach
    {
        double radius = -1.0;
        std::int64_t steps = 0;
    };
    struct Built;

    std::size_t slot(std::int64_t m, int i) const
    {
        return start(m).longest + 1 + std::size_t(i) - std::size_t(nodesAt(m));
    }
    std::vector<bool> hardSteps(const double *zx, const double *zy, std::int64_t singles,
                                FloatExp corner) const;
    void index(const std::vector<bool> &hard, std::int64_t singles);
    void buildStart(const double *zx, const double *zy, std::int64_t m);
    Built built(std::int64_t m, int i) const;
    Built whole(const double *zx, const double *zy, std::int64_t m, std::int64_t length) const;
    Built step(const double *zx, const double *zy, std::int64_t m) const;
    Built merge(const Built &x, const Built &y) const;
    void put(std::int64_t m, int i, const Built &built);

    double m_dcRadius = 0.0;
    double m_epsilon = DefaultEpsilon;
    std::int64_t m_starts = 0; // one past the last start, whose entry is empty
    // The nodes of start m, the binary levels 2, 4, 8, … steps first, then
    // the whole stretch.
    std::vector<Start> m_start = std::vector<Start>(1);
    std::vector<std::uint8_t> m_count = std::vector<std::uint8_t>(1);
    std::vector<SkipNode> m_nodes;
    std::vector<Reach> m_reach;
};
