#include "deep/deepview.h"

#include "deep/decimaltext.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr mpfr_prec_t GuardBits = 64;
constexpr mpfr_prec_t DoubleBits = 53;
// Deep below this many double ulps between neighbouring pixel centres.
constexpr long DeepBelowUlpsLog2 = 10;
// Extra decimal digits' worth of bits for the first, rough reading.
constexpr mpfr_prec_t RoughBits = 64;


// log2 of the largest |coordinate| in the view, rounded up.
long boundExponent(mpfr_srcptr re, mpfr_srcptr im, mpfr_srcptr halfExtent)
{
    MpReal a(RoughBits), b(RoughBits);
    mpfr_abs(a.get(), re, MPFR_RNDU);
    mpfr_abs(b.get(), im, MPFR_RNDU);
    mpfr_max(a.get(), a.get(), b.get(), MPFR_RNDU);
    mpfr_add(a.get(), a.get(), halfExtent, MPFR_RNDU);
    return mpfr_zero_p(a.get()) ? 0 : mpfr_get_exp(a.get());
}

} // namespace

mpfr_prec_t separatingBits(long magnitudeExponent, long spacingExponent)
{
    return std::max<mpfr_prec_t>(DoubleBits, magnitudeExponent - spacingExponent + 2);
}

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
    MpReal half(RoughBits), spacing(RoughBits);
    const int longer = std::max(pixelsWide, pixelsHigh);
    mpfr_mul_ui(half.get(), roughWidth.get(), longer, MPFR_RNDU);
    mpfr_div_ui(half.get(), half.get(), 2 * pixelsWide, MPFR_RNDU);
    mpfr_div_ui(spacing.get(), roughWidth.get(), pixelsWide, MPFR_RNDD);
    const long magnitude = boundExponent(roughRe.get(), roughIm.get(), half.get());
    const long spacingExp = mpfr_get_exp(spacing.get()) - 1;
    DeepView view(separatingBits(magnitude, spacingExp) + GuardBits, pixelsWide, pixelsHigh);
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
    MpReal spacing(RoughBits);
    mpfr_div_ui(spacing.get(), m_width.get(), m_pixelsWide, MPFR_RNDD);
    return mpfr_get_exp(spacing.get()) - 1;
}

long DeepView::magnitudeExponent() const
{
    MpReal half(RoughBits);
    mpfr_mul_ui(half.get(), m_width.get(), std::max(m_pixelsWide, m_pixelsHigh), MPFR_RNDU);
    mpfr_div_ui(half.get(), half.get(), 2 * m_pixelsWide, MPFR_RNDU);
    return boundExponent(m_re.get(), m_im.get(), half.get());
}

bool DeepView::needsDeep() const
{
    // A double's ulp at |c| < 2^e is at most 2^(e − 53).
    const long ulpsLog2 = spacingExponent() - (magnitudeExponent() - DoubleBits);
    return ulpsLog2 < DeepBelowUlpsLog2;
}
