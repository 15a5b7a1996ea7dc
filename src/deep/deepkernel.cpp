#include "deep/deepkernel.h"

#include "deep/perturbation.h"
#include "deep/plainloop.h"

namespace {

FloatExp toFloatExp(mpfr_srcptr value)
{
    long exponent = 0;
    const double mantissa = mpfr_get_d_2exp(&exponent, value, MPFR_RNDN);
    return FloatExp::normalised(mantissa, exponent);
}

} // namespace

DeepWork &DeepWork::operator+=(const DeepWork &other)
{
    pixels += other.pixels;
    steps += other.steps;
    rebases += other.rebases;
    referenceEnds += other.referenceEnds;
    extendedPixels += other.extendedPixels;
    recomputed += other.recomputed;
    return *this;
}

DeepKernel::DeepKernel(const DeepView &view, std::int64_t imax)
    // Deltas as small as half a pixel need FloatExp below 2^-900, and so do
    // the reference's steps there.
    : m_view(view), m_imax(imax),
      m_reference(view.centreRe().get(), view.centreIm().get(), imax,
                  view.spacingExponent() - 1 < DoubleDeltaExponent)
{
}

DeepKernel::Delta DeepKernel::delta(mpfr_srcptr c, mpfr_srcptr centre, mpfr_srcptr ci,
                                    mpfr_srcptr centreI) const
{
    // Both are P-bit numbers within the view, so their difference is exact
    // at P bits; the only rounding is to the FloatExp's 53 bits.
    MpReal d(m_view.precision());
    Delta result;
    mpfr_sub(d.get(), c, centre, MPFR_RNDN);
    result.x = toFloatExp(d.get());
    mpfr_sub(d.get(), ci, centreI, MPFR_RNDN);
    result.y = toFloatExp(d.get());
    return result;
}

std::int64_t DeepKernel::countAt(mpfr_srcptr cx, mpfr_srcptr cy, DeepWork &work) const
{
    const Delta dc = delta(cx, m_view.centreRe().get(), cy, m_view.centreIm().get());
    const PerturbationResult result = perturb(m_reference, dc.x, dc.y, m_imax);
    ++work.pixels;
    work.steps += result.steps;
    work.rebases += result.rebases;
    work.referenceEnds += result.referenceEnds;
    work.extendedPixels += result.extended ? 1 : 0;
    if (result.verdict == PerturbationResult::Counted)
        return result.count;
    ++work.recomputed;
    return plainLoopCount(cx, cy, m_imax);
}

std::int64_t DeepKernel::count(int p, int q, DeepWork &work) const
{
    MpReal cx(m_view.precision()), cy(m_view.precision());
    m_view.pixelRe(p, cx.get());
    m_view.pixelIm(q, cy.get());
    return countAt(cx.get(), cy.get(), work);
}

void DeepKernel::countRow(int q, std::int64_t *counts, DeepWork &work) const
{
    MpReal cx(m_view.precision()), cy(m_view.precision());
    m_view.pixelIm(q, cy.get());
    for (int p = 0; p < m_view.pixelsWide(); ++p) {
        m_view.pixelRe(p, cx.get());
        counts[p] = countAt(cx.get(), cy.get(), work);
    }
}
