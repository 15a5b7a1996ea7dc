#pragma once

#include "deep/doubledouble.h"
#include "deep/floatexp.h"

#include <mpfr.h>

#include <algorithm>
#include <utility>

// An MPFR number that frees itself: the deep kernel's one owner of mpfr_t.
// Copies keep the precision of their source.
class MpReal
{
public:
    explicit MpReal(mpfr_prec_t precision) { mpfr_init2(m_value, precision), mpfr_set_zero(m_value, 1); }
    MpReal(const MpReal &other)
    {
        mpfr_init2(m_value, mpfr_get_prec(other.m_value));
        mpfr_set(m_value, other.m_value, MPFR_RNDN);
    }
    MpReal(MpReal &&other) noexcept
    {
        mpfr_init2(m_value, MPFR_PREC_MIN);
        mpfr_swap(m_value, other.m_value);
    }
    MpReal &operator=(MpReal other) noexcept
    {
        mpfr_swap(m_value, other.m_value);
        return *this;
    }
    ~MpReal() { mpfr_clear(m_value); }

    mpfr_ptr get() { return m_value; }
    mpfr_srcptr get() const { return m_value; }
    mpfr_prec_t precision() const { return mpfr_get_prec(m_value); }

private:
    mpfr_t m_value;
};

// The value rounded once to a FloatExp's 53-bit mantissa.
inline FloatExp toFloatExp(mpfr_srcptr value)
{
    long exponent = 0;
    const double mantissa = mpfr_get_d_2exp(&exponent, value, MPFR_RNDN);
    return FloatExp::normalised(mantissa, exponent);
}

// hi = the value rounded to a double, lo = the rest rounded to a double. The
// rest value − hi is exact at the value's precision (at least 53 bits): it
// lies within half an ulp of hi and on the value's own grid.
inline DoubleDouble toDoubleDouble(mpfr_srcptr value)
{
    const double hi = mpfr_get_d(value, MPFR_RNDN);
    MpReal rest(std::max<mpfr_prec_t>(mpfr_get_prec(value), 53));
    mpfr_sub_d(rest.get(), value, hi, MPFR_RNDN);
    return {hi, mpfr_get_d(rest.get(), MPFR_RNDN)};
}
