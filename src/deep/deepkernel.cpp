#include "deep/deepkernel.h"

#include "deep/perturbation.h"
#include "deep/lanejob.h"
#include "deep/plainloop.h"

#include <algorithm>
#include <vector>

namespace {

// Deltas as small as half a pixel need FloatExp below 2^-900, and so do the
// reference's steps there.
bool needsExtended(const DeepView &view)
{
    return view.spacingExponent() - 1 < DoubleDeltaExponent;
}

// An upper bound on |dc| = |c − C| over the view at 64 bits: half its width
// plus half its height (|x| + |y| bounds the modulus).
void cornerBound(const DeepView &view, MpReal &r)
{
    mpfr_mul_ui(r.get(), view.width().get(), unsigned(view.pixelsWide() + view.pixelsHigh()),
                MPFR_RNDU);
    mpfr_div_ui(r.get(), r.get(), 2u * unsigned(view.pixelsWide()), MPFR_RNDU);
}

// The same as a double, with room for the pixels' rounding at P bits.
double dcRadius(const DeepView &view)
{
    constexpr double Room = 1.0 + 0x1p-30;
    MpReal r(64);
    cornerBound(view, r);
    return mpfr_get_d(r.get(), MPFR_RNDU) * Room + DeepBound::Tiny;
}

// dcRadius() for placing the skip table's cuts where it lies far below the
// double range (pixels narrower than 2^-1000), where the double is mostly
// the bound's floor; nothing elsewhere, where the double places them.
FloatExp corner(const DeepView &view)
{
    constexpr long SmallestSpacing = -1000;
    if (view.spacingExponent() >= SmallestSpacing)
        return {};
    MpReal r(64);
    cornerBound(view, r);
    return toFloatExp(r.get());
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
    secondChances += other.secondChances;
    secondSteps += other.secondSteps;
    interior += other.interior;
    skips += other.skips;
    skipped += other.skipped;
    return *this;
}

DeepKernel::DeepKernel(const DeepView &view, std::int64_t imax, std::int64_t referenceSteps)
    : m_view(view), m_imax(imax),
      m_reference(view.centreRe().get(), view.centreIm().get(), imax, needsExtended(view),
                  std::min(referenceSteps,
                           needsExtended(view) ? ExtendedReferenceSteps : ReferenceSteps)),
      m_skips(m_reference.x(), m_reference.y(), m_reference.last(), dcRadius(view),
              SkipTable::DefaultEpsilon, corner(view)),
      m_doubleDouble(view.centreRe().get(), view.centreIm().get(), imax)
{
}

void DeepKernel::setSkipEpsilon(double epsilon)
{
    m_skips = SkipTable(m_reference.x(), m_reference.y(), m_reference.last(), dcRadius(m_view),
                        epsilon, corner(m_view));
}

void DeepKernel::countPoints(int first, int pixels, int q, std::int64_t *counts,
                             DeepWork &work) const
{
    const mpfr_prec_t precision = m_view.precision();
    MpReal cx(precision), cy(precision), d(precision);
    std::vector<FloatExp> dcx(pixels), dcy(pixels);
    // Both are P-bit numbers within the view, so their difference is exact
    // at P bits; the only rounding is to the FloatExp's 53 bits.
    m_view.pixelIm(q, cy.get());
    mpfr_sub(d.get(), cy.get(), m_view.centreIm().get(), MPFR_RNDN);
    std::fill(dcy.begin(), dcy.end(), toFloatExp(d.get()));
    for (int k = 0; k < pixels; ++k) {
        m_view.pixelRe(first + k, cx.get());
        mpfr_sub(d.get(), cx.get(), m_view.centreRe().get(), MPFR_RNDN);
        dcx[k] = toFloatExp(d.get());
    }
    std::vector<PerturbationResult> results(pixels);
    perturb(m_reference, dcx.data(), dcy.data(), pixels, m_imax,
            m_interiorTest ? m_reference.nearReturn() : 0,
            m_stepSkipping && !m_skips.empty() ? &m_skips : nullptr, results.data());
    for (int k = 0; k < pixels; ++k) {
        const PerturbationResult &result = results[k];
        ++work.pixels;
        work.steps += result.steps;
        work.rebases += result.rebases;
        work.referenceEnds += result.referenceEnds;
        work.extendedPixels += result.extended ? 1 : 0;
        work.interior += result.interior ? 1 : 0;
        work.skips += result.skips;
        work.skipped += result.skipped;
        counts[k] = result.count;
        if (result.verdict == PerturbationResult::Unsure) {
            m_view.pixelRe(first + k, cx.get());
            counts[k] = recount(cx.get(), cy.get(), work);
        }
    }
}

std::int64_t DeepKernel::recount(mpfr_srcptr cx, mpfr_srcptr cy, DeepWork &work) const
{
    // Deltas below 2^-900 would leave what double-doubles hold with their
    // precision; those views keep FloatExp and go to the plain loop.
    if (m_secondChance && !m_reference.extended()) {
        const mpfr_prec_t precision = m_view.precision();
        MpReal dx(precision), dy(precision);
        // Exact at P bits, as the lanes' dc.
        mpfr_sub(dx.get(), cx, m_view.centreRe().get(), MPFR_RNDN);
        mpfr_sub(dy.get(), cy, m_view.centreIm().get(), MPFR_RNDN);
        const PerturbationResult result =
            m_doubleDouble.run(toDoubleDouble(dx.get()), toDoubleDouble(dy.get()));
        work.secondSteps += result.steps;
        if (result.verdict == PerturbationResult::Counted) {
            ++work.secondChances;
            return result.count;
        }
    }
    ++work.recomputed;
    return plainLoopCount(cx, cy, m_imax);
}

std::int64_t DeepKernel::count(int p, int q, DeepWork &work) const
{
    std::int64_t result = 0;
    countPoints(p, 1, q, &result, work);
    return result;
}

void DeepKernel::countRow(int q, std::int64_t *counts, DeepWork &work) const
{
    countPoints(0, m_view.pixelsWide(), q, counts, work);
}
