#pragma once

// Applying a node of the skip table to a delta and its error bound: shared
// by the lanes and the interior test. Everything lives in an anonymous
// namespace, as in deeplanes.h, so that the linker cannot merge a copy
// built for AVX2 into code meant for any x86-64.

#include "deep/lanejob.h"

#include <algorithm>
#include <cmath>

#ifdef __FAST_MATH__
#error "the skips' error bound must not be built with -ffast-math"
#endif

namespace {

// An upper bound on |x + iy| without a square root, whose latency would
// hold up a lane's skip: sqrt(a² + b²) <= a + (sqrt(2) − 1)·b for a >= b >= 0
// (the difference of the squares is 2(sqrt(2) − 1)·b·(a − b)), at most 8.3 %
// above the modulus. The constant is rounded up.
constexpr double Sqrt2Less1 = 0x1.a827999fcef33p-2;

inline double modulus(double x, double y)
{
    using namespace DeepBound;
    const double a = std::fabs(x), b = std::fabs(y);
    return (std::max(a, b) + Sqrt2Less1 * std::min(a, b)) * (1.0 + 4.0 * U) + Tiny;
}

// A delta and the bound E on its error: the ball that holds the exact one.
struct SkipBall
{
    double dx, dy, error;

    // An upper bound on |w| for every exact w of the ball, and on |dz|.
    double size() const { return (modulus(dx, dy) + error) * DeepBound::Up; }
};

// A pixel's dc, and an upper bound on |dc|.
struct SkipPixel
{
    double dcx, dcy, size;
};

// dz' = A·dz + B·dc, with E' bounding |exact dz' − dz'|: the node's own
// bound at |w| <= size (size = ball.size()), the old error carried by |A|,
// dc's rounding to a double carried by |B|, and the rounding of the two
// complex products and their sum (3u of the sizes in |x| + |y| each, so 6u
// in modulus; 8u with the sum), with size in place of |dz|. Moduli, not
// |x| + |y|: E is multiplied by |A| skip after skip.
inline SkipBall applyNode(const SkipNode &node, const SkipBall &ball, const SkipPixel &pixel,
                          double size)
{
    using namespace DeepBound;
    const double sA = node.sizeA, sB = node.sizeB, sC = pixel.size;
    SkipBall next;
    next.error = (sA * ball.error + node.k1 * size + node.k2 * sC + sB * (U * sC + Tiny)
                  + 8.0 * U * (sA * size + sB * sC) + 2.0 * Tiny) * Up;
    next.dx = (node.ax * ball.dx - node.ay * ball.dy) + (node.bx * pixel.dcx - node.by * pixel.dcy);
    next.dy = (node.ax * ball.dy + node.ay * ball.dx) + (node.bx * pixel.dcy + node.by * pixel.dcx);
    return next;
}

// Applies the longest nodes of job's table that fit, as long as one does
// and at most maxSteps steps in all, from reference index m; returns the
// steps skipped (m advanced by them) and counts the nodes in skips.
inline std::int64_t skipNodes(const LaneJob &job, const SkipPixel &pixel, std::int64_t maxSteps,
                              std::int64_t &m, SkipBall &ball, std::int64_t &skips)
{
    const SkipTable &table = *job.skips;
    std::int64_t skipped = 0;
    // Where no node starts (a hard step, as after most skips), without a
    // square root.
    while (table.nodesAt(m) > 0) {
        const double size = ball.size();
        std::int64_t steps = 0;
        const SkipNode *node = table.find(m, size, maxSteps - skipped, steps);
        if (node == nullptr)
            break;
        // The landing's reference point, which its bound reads next.
        __builtin_prefetch(&job.refX[m + steps]);
        __builtin_prefetch(&job.refY[m + steps]);
        ball = applyNode(*node, ball, pixel, size);
        m += steps;
        skipped += steps;
        ++skips;
    }
    return skipped;
}

// A bound on the exact |z| at Z(m) + dz, as a step forms it: from z itself,
// not from |Z| + |dz|, which would be far too large where the two cancel (a
// skip mostly lands where the reference passes near 0). With the square
// root: the next step multiplies E by this bound, stretch after stretch, so
// modulus()'s 8 % would compound into doubts.
inline double landingBound(double zx, double zy, const SkipBall &ball)
{
    using namespace DeepBound;
    const double x = zx + ball.dx, y = zy + ball.dy;
    const double zError = (ball.error + U * ((std::fabs(zx) + std::fabs(zy))
                                             + (std::fabs(x) + std::fabs(y))) + Tiny) * Up;
    return std::sqrt(x * x + y * y) * Up + zError;
}

} // namespace
