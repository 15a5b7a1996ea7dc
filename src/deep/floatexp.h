#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// A double mantissa with its own 64-bit binary exponent: value = m · 2^e,
// with m == 0 or 0.5 <= |m| < 1. It holds the pixel deltas of views far
// below 1E-300, where a double would underflow. Each operation rounds the
// mantissa once, as a double does, so a relative error of at most 2^-53 per
// operation holds here too (a sum drops an addend below 2^-64 of the other,
// which stays within that).
struct FloatExp
{
    double m = 0.0;
    std::int64_t e = 0;

    static FloatExp fromDouble(double value) { return normalised(value, 0); }

    // frexp() by the exponent's bits where mantissa is a normal double, as
    // every step's are: the library's call took most of a step's time.
    static FloatExp normalised(double mantissa, std::int64_t exponent)
    {
        constexpr std::uint64_t ExponentBits = std::uint64_t(0x7FF) << 52;
        constexpr std::uint64_t Half = std::uint64_t(1022) << 52;
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(mantissa);
        const std::uint64_t biased = bits & ExponentBits;
        if (biased != 0 && biased != ExponentBits) {
            return {std::bit_cast<double>((bits & ~ExponentBits) | Half),
                    exponent + static_cast<std::int64_t>(biased >> 52) - 1022};
        }
        int shift = 0;
        const double m = std::frexp(mantissa, &shift);
        return {m, m == 0.0 ? 0 : exponent + shift};
    }

    // 2^n for -1022 <= n <= 1023, exactly.
    static double twoTo(std::int64_t n)
    {
        return std::bit_cast<double>(static_cast<std::uint64_t>(n + 1023) << 52);
    }

    // The nearest double; 0 or a subnormal below the double range.
    double toDouble() const
    {
        constexpr std::int64_t Beyond = 4096;
        if (m == 0.0 || e < -Beyond)
            return 0.0;
        // One rounding either way, as ldexp() rounds.
        if (e >= -1022 && e <= 1023)
            return m * twoTo(e);
        return std::ldexp(m, static_cast<int>(e > Beyond ? Beyond : e));
    }

    // log2 of |value|, rounded down; very negative for 0.
    std::int64_t exponent() const { return m == 0.0 ? INT64_MIN / 2 : e - 1; }
};

inline FloatExp operator*(FloatExp a, FloatExp b)
{
    return FloatExp::normalised(a.m * b.m, a.e + b.e);
}

inline FloatExp operator+(FloatExp a, FloatExp b)
{
    constexpr std::int64_t Negligible = 64;
    if (b.m == 0.0)
        return a;
    if (a.m == 0.0)
        return b;
    if (a.e < b.e) {
        const FloatExp t = a;
        a = b;
        b = t;
    }
    const std::int64_t shift = b.e - a.e;
    if (shift < -Negligible)
        return a;
    return FloatExp::normalised(a.m + b.m * FloatExp::twoTo(shift), a.e);
}

inline FloatExp operator-(FloatExp a)
{
    return {-a.m, a.e};
}

inline FloatExp operator-(FloatExp a, FloatExp b)
{
    return a + (-b);
}

inline FloatExp abs(FloatExp a)
{
    return {std::fabs(a.m), a.e};
}

// For non-negative values.
inline bool operator<(FloatExp a, FloatExp b)
{
    if (a.m == 0.0 || b.m == 0.0)
        return a.m < b.m;
    return a.e != b.e ? a.e < b.e : a.m < b.m;
}

// Square root of a non-negative value.
inline FloatExp sqrt(FloatExp a)
{
    if (a.m == 0.0)
        return a;
    const bool odd = (a.e & 1) != 0;
    return FloatExp::normalised(std::sqrt(odd ? a.m * 2.0 : a.m), (odd ? a.e - 1 : a.e) / 2);
}
