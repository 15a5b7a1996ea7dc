#pragma once

#include "deep/floatexp.h"

#include <mpfr.h>

#include <cstdint>
#include <functional>
#include <vector>

// Z(0) = 0, Z(k+1) = Z(k)² + C at C's precision (the plain loop's
// operations), keep(x, y) called for Z(0) … Z(last), where last is the first
// step with |Z|² > 5 or `steps`, whichever comes first.
void iterateReference(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t steps,
                      const std::function<void(mpfr_srcptr, mpfr_srcptr)> &keep);

// The orbit Z(0) = 0, Z(k+1) = Z(k)² + C of one point C, iterated at C's
// precision and stored rounded to doubles: 16 bytes a step, Z(0) … Z(last),
// where last is the first step with |Z|² > 5, imax or maxSteps, whichever
// comes first. With `extended`, each step is also kept as two FloatExp
// (32 bytes more), for pixels whose deltas lie below the double range and
// for the steps where Z itself comes closer to 0 than a double can hold.
// Pixels restart at Z(0) when they reach the end, so a reference shorter
// than their orbits serves them too; maxSteps bounds its memory at any imax.
class ReferenceOrbit
{
public:
    ReferenceOrbit(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t imax, bool extended,
                   std::int64_t maxSteps);

    std::int64_t last() const { return std::int64_t(m_x.size()) - 1; }
    const double *x() const { return m_x.data(); }
    const double *y() const { return m_y.data(); }
    const FloatExp *extendedX() const { return m_ex.data(); }
    const FloatExp *extendedY() const { return m_ey.data(); }
    bool extended() const { return !m_ex.empty(); }
    std::size_t bytes() const;
    // The step k >= 1 where Z comes closest to 0 (the first within a factor
    // 2 of the closest), if it comes below 2^-20: the period of a minibrot
    // whose nucleus C is near; 0 where Z stays away from 0.
    std::int64_t nearReturn() const { return m_nearReturn; }

private:
    void keep(mpfr_srcptr x, mpfr_srcptr y, bool extended);
    void findNearReturn();

    std::vector<double> m_x, m_y;
    std::vector<FloatExp> m_ex, m_ey;
    std::int64_t m_nearReturn = 0;
};
