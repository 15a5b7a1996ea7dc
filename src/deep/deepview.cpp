#include "deep/deepview.h"

#include "deep/decimaltext.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr mpfr_prec_t GuardBits = 64;
constexpr mpfr_prec_t DoubleBits = 53;
// Deep below this many double ulps between neighbouring pixel centres.
constexpr long DeepBelowUlpsLog2 = 10;
// Bits of the first, rough reading, which only finds the exponents.
constexpr mpfr_prec_t RoughBits = 64;

struct Exponents
{
    long magnitude; // 2^magnitude bounds every |coordinate| of the view
    long spacing;   // 2^spacing <= width / W
};

Exponents exponentsOf(mpfr_srcptr re, mpfr_srcptr im, mpfr_srcptr width, int wide, int high)
{
    MpReal a(RoughBits), b(RoughBits);
    mpfr_abs(a.get(), re, MPFR_RNDU);
    mpfr_abs(b.get(), im, MPFR_RNDU);
    mpfr_max(a.get(), a.get(), b.get(), MPFR_RNDU);
    mpfr_mul_ui(b.get(), width, std::max(wide, high), MPFR_RNDU);
    mpfr_div_ui(b.get(), b.get(), 2UL * wide, MPFR_RNDU);
    mpfr_add(a.get(), a.get(), b.get(), MPFR_RNDU);
    const long magnitude = mpfr_zero_p(a.get()) ? 0 : mpfr_get_exp(a.get());
    mpfr_div_ui(b.get(), width, wide, MPFR_RNDD);
    return {magnitude, mpfr_get_exp(b.get()) - 1};
}

// The bits needed to tell neighbouring pixel centres apart (at least 53)
// for coordinates below 2^magnitudeExponent, spacing at or above
// 2^spacingExponent.
mpfr_prec_t separatingBits(long magnitudeExponent, long spacingExponent)
{
    return std::max<mpfr_prec_t>(DoubleBits, magnitudeExponent - spacingExponent + 2);
}

} // namespace

DeepView::DeepView(mpfr_prec_t precision, int pixelsWide, int pixelsHigh)
    : m_precision(precision), m_pixelsWide(pixelsWide), m_pixelsHigh(pixelsHigh),
      m_re(precision), m_im(precision), m_width(precision)
{
}

std::optional<DeepView> DeepView::make(const std::string &re, const std::string &im,
                                       const std::string &width, int pixelsWide,
                                       int pixelsHigh)
{
    if (pixelsWide <= 0 || pixelsHigh <= 0)
        return std::nullopt;
    // A rough reading finds the exponents that decide P, then the texts are
    // read again, once, at P.
    MpReal roughRe(RoughBits), roughIm(RoughBits), roughWidth(RoughBits);
    if (!DecimalText::read(re, roughRe.get()) || !DecimalText::read(im, roughIm.get())
        || !DecimalText::read(width, roughWidth.get()) || mpfr_sgn(roughWidth.get()) <= 0)
        return std::nullopt;
    const Exponents e = exponentsOf(roughRe.get(), roughIm.get(), roughWidth.get(),
                                    pixelsWide, pixelsHigh);
    DeepView view(separatingBits(e.magnitude, e.spacing) + GuardBits, pixelsWide, pixelsHigh);
    DecimalText::read(re, view.m_re.get());
    DecimalText::read(im, view.m_im.get());
    DecimalText::read(width, view.m_width.get());
    return view;
}

void DeepView::pixelCoordinate(const MpReal &centre, int k, int pixels, mpfr_ptr out) const
{
    MpReal offset(m_precision + GuardBits);
    // (2k + 1 − N) has at most 33 bits, so this product is exact.
    mpfr_mul_si(offset.get(), m_width.get(), 2L * k + 1 - pixels, MPFR_RNDN);
    mpfr_div_ui(offset.get(), offset.get(), 2UL * static_cast<unsigned long>(m_pixelsWide), MPFR_RNDN);
    mpfr_set_prec(out, m_precision);
    mpfr_add(out, centre.get(), offset.get(), MPFR_RNDN);
}

void DeepView::pixelRe(int p, mpfr_ptr out) const
{
    pixelCoordinate(m_re, p, m_pixelsWide, out);
}

void DeepView::pixelIm(int q, mpfr_ptr out) const
{
    pixelCoordinate(m_im, q, m_pixelsHigh, out);
}

long DeepView::spacingExponent() const
{
    return exponentsOf(m_re.get(), m_im.get(), m_width.get(), m_pixelsWide, m_pixelsHigh).spacing;
}

bool DeepView::needsDeep() const
{
    // A double's ulp at |c| < 2^e is at most 2^(e − 53).
    const Exponents e = exponentsOf(m_re.get(), m_im.get(), m_width.get(), m_pixelsWide,
                                    m_pixelsHigh);
    return e.spacing - (e.magnitude - DoubleBits) < DeepBelowUlpsLog2;
}
