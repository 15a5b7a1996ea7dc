#include "deep/viewcounter.h"

#include "core/escapetime.h"

#include <cstdint>
#include <limits>

namespace {

bool fitsPunktIteration(std::int64_t imax)
{
    return imax <= std::numeric_limits<std::int16_t>::max();
}

} // namespace

ViewCounter::ViewCounter(const DeepView &view, std::int64_t imax)
    : m_view(view), m_imax(imax)
{
    if (view.needsDeep() || !fitsPunktIteration(imax))
        m_kernel.emplace(view, imax);
}

std::int64_t ViewCounter::count(int p, int q, DeepWork &work) const
{
    if (m_kernel)
        return m_kernel->count(p, q, work);
    MpReal c(m_view.precision());
    m_view.pixelRe(p, c.get());
    const double cx = mpfr_get_d(c.get(), MPFR_RNDN);
    m_view.pixelIm(q, c.get());
    const double cy = mpfr_get_d(c.get(), MPFR_RNDN);
    ++work.pixels;
    return punkt_iteration(cx, cy, EscapeBound, static_cast<std::int16_t>(m_imax));
}

void ViewCounter::countRow(int q, std::int64_t *counts, DeepWork &work) const
{
    if (m_kernel) {
        m_kernel->countRow(q, counts, work);
        return;
    }
    for (int p = 0; p < m_view.pixelsWide(); ++p)
        counts[p] = count(p, q, work);
}
