#pragma once

// Applying a node of the skip table to a delta and its error bound: shared
// by the lanes, the interior test and the deltas below the double range. Everything lives in an anonymous
// namespace, as in deeplanes.h, so that the linker cannot merge a copy
// built for AVX2 into code meant for any x86-64.

#include "deep/lanejob.h"

#include <cmath>
#include <complex>

#ifdef __FAST_MATH__
#error "the skips' error bound must not be built with -ffast-math"
#endif

namespace {

// The skip's arithmetic is written once, for one lane in doubles (with
// ScalarMath) and for four in the lanes' vectors (with their own abs and
// root), so that a lane's skip gives the same bits either way.
struct ScalarMath
{
    static double abs(double x) { return std::fabs(x); }
    static double root(double x) { return std::sqrt(x); }
};

// An upper bound on |x + iy| without a square root, whose latency would
// hold up a lane's skip: sqrt(a² + b²) <= a + (sqrt(2) − 1)·b for a >= b >= 0
// (the difference of the squares is 2(sqrt(2) − 1)·b·(a − b)), at most 8.3 %
// above the modulus. The constant is rounded up.
constexpr double Sqrt2Less1 = 0x1.a827999fcef33p-2;

template <typename Math, typename T>
T modulusOf(T x, T y)
{
    using namespace DeepBound;
    const T a = Math::abs(x), b = Math::abs(y);
    const T larger = a < b ? b : a, smaller = b < a ? b : a;
    return (larger + Sqrt2Less1 * smaller) * (1.0 + 4.0 * U) + Tiny;
}

inline double modulus(double x, double y)
{
    return modulusOf<ScalarMath>(x, y);
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

// A node's numbers: A, B, its bound's k1 and k2, and |A|, |B| rounded up.
template <typename T>
struct NodeTerms
{
    T ax, ay, bx, by, k1, k2, sA, sB;
};

// dz' = A·dz + B·dc, with E' bounding |exact dz' − dz'|: the node's own
// bound at |w| <= size (size = ball.size()), the old error carried by |A|,
// dc's rounding to a double carried by |B|, and the rounding of the two
// complex products and their sum (3u of the sizes in |x| + |y| each, so 6u
// in modulus; 8u with the sum), with size in place of |dz|. Moduli, not
// |x| + |y|: E is multiplied by |A| skip after skip.
// (dx, dy, error) becomes (dz', E') for a pixel's dc and |dc|⁺ = sC.
template <typename T>
void applyTerms(const NodeTerms<T> &n, T &dx, T &dy, T &error, T dcx, T dcy, T sC, T size)
{
    using namespace DeepBound;
    const T nextError = (n.sA * error + n.k1 * size + n.k2 * sC + n.sB * (U * sC + Tiny)
                         + 8.0 * U * (n.sA * size + n.sB * sC) + 2.0 * Tiny) * Up;
    const T nextDx = (n.ax * dx - n.ay * dy) + (n.bx * dcx - n.by * dcy);
    const T nextDy = (n.ax * dy + n.ay * dx) + (n.bx * dcy + n.by * dcx);
    dx = nextDx;
    dy = nextDy;
    error = nextError;
}

inline SkipBall applyNode(const SkipNode &node, const SkipBall &ball, const SkipPixel &pixel,
                          double size)
{
    const NodeTerms<double> terms{node.ax, node.ay, node.bx,    node.by,
                                  node.k1, node.k2, node.sizeA, node.sizeB};
    SkipBall next = ball;
    applyTerms(terms, next.dx, next.dy, next.error, pixel.dcx, pixel.dcy, pixel.size, size);
    return next;
}

// Applies the longest nodes of job's table that fit, as long as one does
// and at most maxSteps steps in all, from reference index m; returns the
// steps skipped (m advanced by them) and counts the nodes in skips. Where
// derivative is given, it is multiplied by each node's A, about the
// derivative of the skipped steps at the delta.
inline std::int64_t skipNodes(const LaneJob &job, const SkipPixel &pixel, std::int64_t maxSteps,
                              std::int64_t &m, SkipBall &ball, std::int64_t &skips,
                              std::complex<double> *derivative = nullptr)
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
        if (derivative != nullptr)
            *derivative *= std::complex<double>(node->ax, node->ay);
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
template <typename Math, typename T>
T landingBoundOf(T zx, T zy, T dx, T dy, T error)
{
    using namespace DeepBound;
    const T x = zx + dx, y = zy + dy;
    const T zError = (error + U * ((Math::abs(zx) + Math::abs(zy)) + (Math::abs(x) + Math::abs(y)))
                      + Tiny) * Up;
    return Math::root(x * x + y * y) * Up + zError;
}

inline double landingBound(double zx, double zy, const SkipBall &ball)
{
    return landingBoundOf<ScalarMath>(zx, zy, ball.dx, ball.dy, ball.error);
}

} // namespace
