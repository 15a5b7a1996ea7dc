#pragma once

#include "deep/mpreal.h"

#include <optional>
#include <string>

// A view given by its centre and width as decimal texts of any length, W × H
// pixels. Pixel (p, q) is the point
//   re + width · (2p + 1 − W) / (2W),  im + height · (2q + 1 − H) / (2H)
// with height = width · H / W, so both offsets are width · (2k + 1 − N) / (2W)
// and the pixels are square; the imaginary part grows downwards (q).
class DeepView
{
public:
    // None if a text is not rule 1's form, the width is not positive, or a
    // side is not positive.
    static std::optional<DeepView> make(const std::string &re, const std::string &im,
                                        const std::string &width, int pixelsWide, int pixelsHigh);

    // P: the bits needed to tell neighbouring pixel centres apart, + 64.
    mpfr_prec_t precision() const { return m_precision; }
    int pixelsWide() const { return m_pixelsWide; }
    int pixelsHigh() const { return m_pixelsHigh; }

    // The centre and the width read at precision P.
    const MpReal &centreRe() const { return m_re; }
    const MpReal &centreIm() const { return m_im; }
    const MpReal &width() const { return m_width; }

    // The pixel's point at precision P (out's precision is set): the
    // offset is formed at P + 64 bits and the sum rounded once to P.
    void pixelRe(int p, mpfr_ptr out) const;
    void pixelIm(int q, mpfr_ptr out) const;

    // Whether doubles no longer hold the picture: neighbouring pixel centres
    // less than about 2^10 ulps of a double apart (for |c| near 1, pixels
    // narrower than about 2^-42 ≈ 2.3E-13).
    bool needsDeep() const;

    // log2 of the pixel spacing, rounded down (MPFR's exponent − 1).
    long spacingExponent() const;

private:
    DeepView(mpfr_prec_t precision, int pixelsWide, int pixelsHigh);
    void pixelCoordinate(const MpReal &centre, int k, int pixels, mpfr_ptr out) const;

    mpfr_prec_t m_precision;
    int m_pixelsWide;
    int m_pixelsHigh;
    MpReal m_re;
    MpReal m_im;
    MpReal m_width;
};
