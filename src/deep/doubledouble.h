#pragma once

#include <cmath>

// A double-word number hi + lo with |lo| <= ulp(hi)/2: about 106 bits. The
// sum and the product are the double-word algorithms with published
// relative error bounds (Joldes, Muller and Popescu, ACM TOMS 2017): the
// accurate sum of two double-words ("AccurateDWPlusDW", 3u² + 13u³) and the
// product with a fused multiply-add ("DWTimesDW3", below 7u²), u = 2^-53.
// The bounds hold without underflow; below 2^-969 each operation may err by
// a few half-units of the subnormal range besides.
//   toDouble(DoubleDouble{1.0, 0x1p-60} * DoubleDouble{3.0, 0.0}) -> 3.0
struct DoubleDouble
{
    double hi = 0.0;
    double lo = 0.0;
};

namespace DoubleWord {

// The error-free transformations: each returns s with s.hi + s.lo equal
// to the exact result. They need round to nearest and no contraction of
// their written operations into fused ones (-ffp-contract=off).

// a + b exactly, for any a and b (Knuth).
inline DoubleDouble twoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    const double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

// a + b exactly where |a| >= |b| or a is 0 (Dekker).
inline DoubleDouble fastTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// a · b exactly: std::fma rounds a · b − p once, and that difference is a
// double unless it falls below 2^-1022 + 52 (then off by at most 2^-1075).
inline DoubleDouble twoProd(double a, double b)
{
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

} // namespace DoubleWord

inline DoubleDouble operator+(DoubleDouble x, DoubleDouble y)
{
    using namespace DoubleWord;
    const DoubleDouble s = twoSum(x.hi, y.hi);
    const DoubleDouble t = twoSum(x.lo, y.lo);
    const DoubleDouble v = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(v.hi, t.lo + v.lo);
}

inline DoubleDouble operator-(DoubleDouble x)
{
    return {-x.hi, -x.lo};
}

inline DoubleDouble operator-(DoubleDouble x, DoubleDouble y)
{
    return x + (-y);
}

inline DoubleDouble operator*(DoubleDouble x, DoubleDouble y)
{
    using namespace DoubleWord;
    const DoubleDouble c = twoProd(x.hi, y.hi);
    const double t = std::fma(x.hi, y.lo, x.lo * y.lo);
    return fastTwoSum(c.hi, c.lo + std::fma(x.lo, y.hi, t));
}

// x1·y1 + x2·y2 + c, rounded once at the end: the high parts' products and
// their sum with c's high part are exact (TwoProd, TwoSum), all the rest, each
// below u of those, is summed in doubles by eight operations and the two
// low-by-low products are left out. Off by at most 26u²·(|x1|·|y1| + |x2|·|y2|)
// + 5u²·|c| (|·| the magnitude below; docs/deepzoom.md for the count): a
// bound on the operands' sizes, not on the result's, so cancellation costs
// it nothing.
inline DoubleDouble dotPlus(DoubleDouble x1, DoubleDouble y1, DoubleDouble x2, DoubleDouble y2,
                            DoubleDouble c)
{
    using namespace DoubleWord;
    const DoubleDouble p = twoProd(x1.hi, y1.hi), q = twoProd(x2.hi, y2.hi);
    const DoubleDouble s = twoSum(p.hi, q.hi);
    const DoubleDouble t = twoSum(s.hi, c.hi);
    double e = std::fma(x1.hi, y1.lo, p.lo);
    e = std::fma(x1.lo, y1.hi, e);
    e = std::fma(x2.hi, y2.lo, e);
    e = std::fma(x2.lo, y2.hi, e);
    e = ((e + q.lo) + s.lo) + (t.lo + c.lo);
    return twoSum(t.hi, e);
}

// 2·x, exact.
inline DoubleDouble twice(DoubleDouble x)
{
    return {2.0 * x.hi, 2.0 * x.lo};
}

// An upper bound on |x| (up to the rounding of the sum).
inline double magnitude(DoubleDouble x)
{
    return std::fabs(x.hi) + std::fabs(x.lo);
}

inline double toDouble(DoubleDouble x)
{
    return x.hi + x.lo;
}
