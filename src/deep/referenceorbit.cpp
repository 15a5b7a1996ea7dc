#include "deep/referenceorbit.h"

#include "core/escapetime.h"
#include "deep/mpreal.h"

#include <algorithm>
#include <cmath>

void iterateReference(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t steps,
                      const std::function<void(mpfr_srcptr, mpfr_srcptr)> &keep)
{
    const mpfr_prec_t precision = std::max(mpfr_get_prec(cx), mpfr_get_prec(cy));
    MpReal x(precision), y(precision), xx(precision), yy(precision), m(precision), t(precision);
    keep(x.get(), y.get());
    for (std::int64_t n = 0; n < steps && mpfr_cmp_d(m.get(), EscapeBound) <= 0; ++n) {
        mpfr_sub(t.get(), xx.get(), yy.get(), MPFR_RNDN);
        mpfr_mul_2ui(x.get(), x.get(), 1, MPFR_RNDN);
        mpfr_mul(y.get(), x.get(), y.get(), MPFR_RNDN);
        mpfr_add(y.get(), y.get(), cy, MPFR_RNDN);
        mpfr_add(x.get(), t.get(), cx, MPFR_RNDN);
        mpfr_sqr(xx.get(), x.get(), MPFR_RNDN);
        mpfr_sqr(yy.get(), y.get(), MPFR_RNDN);
        mpfr_add(m.get(), xx.get(), yy.get(), MPFR_RNDN);
        keep(x.get(), y.get());
    }
}

ReferenceOrbit::ReferenceOrbit(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t imax, bool extended,
                               std::int64_t maxSteps)
{
    iterateReference(cx, cy, std::min(imax, std::max<std::int64_t>(maxSteps, 1)),
                     [&](mpfr_srcptr x, mpfr_srcptr y) { keep(x, y, extended); });
    findNearReturn();
}

void ReferenceOrbit::findNearReturn()
{
    constexpr double Near = 0x1p-20;
    const auto size = [this](std::int64_t k) { return std::fabs(m_x[k]) + std::fabs(m_y[k]); };
    double closest = Near;
    for (std::int64_t k = 1; k <= last(); ++k)
        closest = std::min(closest, size(k));
    for (std::int64_t k = 1; k <= last() && closest < Near; ++k) {
        if (size(k) <= 2.0 * closest) {
            m_nearReturn = k;
            return;
        }
    }
}

void ReferenceOrbit::keep(mpfr_srcptr x, mpfr_srcptr y, bool extended)
{
    m_x.push_back(mpfr_get_d(x, MPFR_RNDN));
    m_y.push_back(mpfr_get_d(y, MPFR_RNDN));
    if (extended) {
        m_ex.push_back(toFloatExp(x));
        m_ey.push_back(toFloatExp(y));
    }
}

std::size_t ReferenceOrbit::bytes() const
{
    return (m_x.capacity() + m_y.capacity()) * sizeof(double)
           + (m_ex.capacity() + m_ey.capacity()) * sizeof(FloatExp);
}
