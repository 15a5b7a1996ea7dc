#include "deep/plainloop.h"

#include "core/escapetime.h"
#include "deep/mpreal.h"

#include <algorithm>

std::int64_t plainLoopCount(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t imax)
{
    const mpfr_prec_t precision = std::max(mpfr_get_prec(cx), mpfr_get_prec(cy));
    MpReal x(precision), y(precision), xx(precision), yy(precision), m(precision), t(precision);
    std::int64_t n = 0;
    // x·x and y·y of the new z are the ones the next step needs, rounded the
    // same way, so each step squares once.
    while (mpfr_cmp_d(m.get(), EscapeBound) <= 0 && n < imax) {
        mpfr_sub(t.get(), xx.get(), yy.get(), MPFR_RNDN);
        mpfr_mul_2ui(x.get(), x.get(), 1, MPFR_RNDN);
        mpfr_mul(y.get(), x.get(), y.get(), MPFR_RNDN);
        mpfr_add(y.get(), y.get(), cy, MPFR_RNDN);
        mpfr_add(x.get(), t.get(), cx, MPFR_RNDN);
        ++n;
        mpfr_sqr(xx.get(), x.get(), MPFR_RNDN);
        mpfr_sqr(yy.get(), y.get(), MPFR_RNDN);
        mpfr_add(m.get(), xx.get(), yy.get(), MPFR_RNDN);
    }
    return n;
}
