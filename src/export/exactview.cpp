#include "export/exactview.h"

#include "deep/decimaltext.h"

#include <gmp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ExactView {

namespace {

// Texts with larger exponents are left to doubles: 10^20000 is the largest
// power a rational here is built from.
constexpr long MaxExponent = 20000;
// Significant digits of a width that is no finite decimal (height × W / H
// for an H with other factors than 2 and 5): 2^-265 of the width.
constexpr long RoundedDigits = 80;
// Up to this many zeros, a text is written out without an exponent.
constexpr long PlainZeros = 6;

// GMP's numbers, freeing themselves.
struct Rational
{
    mpq_t q;
    Rational() { mpq_init(q); }
    ~Rational() { mpq_clear(q); }
    Rational(const Rational &) = delete;
    Rational &operator=(const Rational &) = delete;
};

struct Integer
{
    mpz_t z;
    Integer() { mpz_init(z); }
    ~Integer() { mpz_clear(z); }
    Integer(const Integer &) = delete;
    Integer &operator=(const Integer &) = delete;
};

// The text's value exactly; false for a text not of rule 1's form.
bool parse(const std::string &text, mpq_ptr out)
{
    if (!DecimalText::isDecimal(text))
        return false;
    std::string digits;
    long exponent = 0;
    std::size_t pos = text.find_first_not_of(" \t");
    const bool negative = text[pos] == '-';
    if (text[pos] == '+' || text[pos] == '-')
        ++pos;
    bool fraction = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c >= '0' && c <= '9') {
            digits += c;
            exponent -= fraction ? 1 : 0;
        } else if (c == ',' || c == '.') {
            fraction = true;
        } else {
            break;
        }
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E'))
        exponent += std::strtol(text.c_str() + pos + 1, nullptr, 10);
    if (std::labs(exponent) > MaxExponent + long(digits.size()))
        return false;
    Integer power;
    mpz_ui_pow_ui(power.z, 10, static_cast<unsigned long>(std::labs(exponent)));
    mpz_set_str(mpq_numref(out), digits.c_str(), 10);
    mpz_set_ui(mpq_denref(out), 1);
    mpz_mul(exponent >= 0 ? mpq_numref(out) : mpq_denref(out), exponent >= 0 ? mpq_numref(out) : mpq_denref(out),
            power.z);
    mpq_canonicalize(out);
    if (negative)
        mpq_neg(out, out);
    return true;
}

// N × 10^k as a text: plain where few zeros are needed, else "d,dddE±x".
std::string textOf(mpz_srcptr mantissa, long exponent)
{
    if (mpz_sgn(mantissa) == 0)
        return "0";
    Integer n;
    mpz_abs(n.z, mantissa);
    while (mpz_divisible_ui_p(n.z, 10)) {
        mpz_divexact_ui(n.z, n.z, 10);
        ++exponent;
    }
    std::string digits(mpz_sizeinbase(n.z, 10) + 2, '\0');
    mpz_get_str(digits.data(), 10, n.z);
    digits.resize(digits.find('\0'));
    const long length = long(digits.size());
    const long point = length + exponent; // digits before the decimal point
    std::string text = mpz_sgn(mantissa) < 0 ? "-" : "";
    if (exponent >= 0 && exponent <= PlainZeros)
        return text + digits + std::string(std::size_t(exponent), '0');
    if (exponent < 0 && point > 0)
        return text + digits.substr(0, std::size_t(point)) + ',' + digits.substr(std::size_t(point));
    if (exponent < 0 && -point <= PlainZeros)
        return text + "0," + std::string(std::size_t(-point), '0') + digits;
    text += digits.substr(0, 1);
    if (length > 1)
        text += ',' + digits.substr(1);
    return text + 'E' + std::to_string(point - 1);
}

// The value as a decimal text: exactly where it is a finite decimal (its
// denominator 2^a · 5^b), else rounded to RoundedDigits significant digits.
std::string textOf(mpq_srcptr value)
{
    Integer rest, factor, scaled;
    mpz_set(rest.z, mpq_denref(value));
    mpz_set_ui(factor.z, 2);
    const long twos = long(mpz_remove(rest.z, rest.z, factor.z));
    mpz_set_ui(factor.z, 5);
    const long fives = long(mpz_remove(rest.z, rest.z, factor.z));
    long shift = std::max(twos, fives);
    if (mpz_cmp_ui(rest.z, 1) != 0)
        shift = RoundedDigits - long(mpz_sizeinbase(mpq_numref(value), 10))
                + long(mpz_sizeinbase(mpq_denref(value), 10));
    Integer numerator, denominator;
    mpz_set(numerator.z, mpq_numref(value));
    mpz_set(denominator.z, mpq_denref(value));
    mpz_ui_pow_ui(factor.z, 10, static_cast<unsigned long>(std::labs(shift)));
    mpz_mul(shift >= 0 ? numerator.z : denominator.z, shift >= 0 ? numerator.z : denominator.z, factor.z);
    // Rounded to nearest: floor((2n + d) / 2d).
    mpz_mul_2exp(numerator.z, numerator.z, 1);
    mpz_add(numerator.z, numerator.z, denominator.z);
    mpz_mul_2exp(denominator.z, denominator.z, 1);
    mpz_fdiv_q(scaled.z, numerator.z, denominator.z);
    return textOf(scaled.z, -shift);
}

} // namespace

std::optional<ViewTexts> viewOfCorners(const std::string (&corners)[4], int wide, int high, Refusal *whyNot,
                                       bool *mirrored)
{
    Rational edges[4];
    const auto refuse = [&](Refusal why) {
        if (whyNot)
            *whyNot = why;
        return std::nullopt;
    };
    for (int k = 0; k < 4; ++k) {
        if (!parse(corners[k], edges[k].q))
            return refuse(Refusal::NotDecimal);
    }
    Rational re, im, sideX, sideY, width;
    mpq_sub(sideX.q, edges[1].q, edges[0].q);
    mpq_sub(sideY.q, edges[3].q, edges[2].q);
    if (mpq_sgn(sideX.q) == 0 || mpq_sgn(sideY.q) == 0 || wide <= 0 || high <= 0)
        return refuse(Refusal::Empty);
    const bool reversed = mpq_sgn(sideX.q) < 0 || mpq_sgn(sideY.q) < 0;
    if (reversed && !mirrored)
        return refuse(Refusal::Mirrored);
    if (mirrored)
        *mirrored = reversed;
    mpq_abs(sideX.q, sideX.q);
    mpq_abs(sideY.q, sideY.q);
    mpq_add(re.q, edges[0].q, edges[1].q);
    mpq_div_2exp(re.q, re.q, 1);
    mpq_add(im.q, edges[2].q, edges[3].q);
    mpq_div_2exp(im.q, im.q, 1);
    // The shorter side (in pixels) is widened: the width is the section's,
    // or its height × W / H where that is the larger.
    Rational shape;
    mpz_set_si(mpq_numref(shape.q), wide);
    mpz_set_si(mpq_denref(shape.q), high);
    mpq_canonicalize(shape.q);
    mpq_mul(width.q, sideY.q, shape.q);
    if (mpq_cmp(sideX.q, width.q) >= 0)
        mpq_set(width.q, sideX.q);
    return ViewTexts{textOf(re.q), textOf(im.q), textOf(width.q)};
}

std::optional<ViewTexts> viewOfSection(const Section &section, int wide, int high, Refusal *whyNot)
{
    for (double edge : {section.x0, section.x1, section.y0, section.y1}) {
        if (!std::isfinite(edge)) {
            if (whyNot)
                *whyNot = Refusal::NotDecimal;
            return std::nullopt;
        }
    }
    const std::string corners[4] = {exactText(section.x0), exactText(section.x1), exactText(section.y0),
                                    exactText(section.y1)};
    return viewOfCorners(corners, wide, high, whyNot);
}

std::string exactText(double value)
{
    Rational exact;
    mpq_set_d(exact.q, value);
    return textOf(exact.q);
}

} // namespace ExactView
