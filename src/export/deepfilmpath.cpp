#include "export/deepfilmpath.h"

#include "deep/decimaltext.h"
#include "deep/deepview.h"
#include "deep/mpreal.h"

#include <algorithm>
#include <cmath>

namespace {

// Bits beyond the deepest frame's P, so that the frames' views, rounded
// once each, stay far below a pixel of their own.
constexpr mpfr_prec_t MarginBits = 64;

struct Numbers
{
    MpReal re, im, width;
    explicit Numbers(mpfr_prec_t precision) : re(precision), im(precision), width(precision) {}
};

Numbers read(const ViewTexts &texts, mpfr_prec_t precision)
{
    Numbers numbers(precision);
    DecimalText::read(texts.re, numbers.re.get());
    DecimalText::read(texts.im, numbers.im.get());
    DecimalText::read(texts.width, numbers.width.get());
    return numbers;
}

// All the digits the precision holds, as "d,dddE±x" (or "0").
std::string textOf(mpfr_srcptr value)
{
    if (mpfr_zero_p(value))
        return "0";
    const std::size_t digits = std::size_t(std::ceil(double(mpfr_get_prec(value)) * std::log10(2.0))) + 1;
    mpfr_exp_t exponent = 0;
    char *raw = mpfr_get_str(nullptr, &exponent, 10, digits, value, MPFR_RNDN);
    std::string mantissa(raw);
    mpfr_free_str(raw);
    std::string text;
    if (mantissa.front() == '-') {
        text = "-";
        mantissa.erase(0, 1);
    }
    mantissa.erase(mantissa.find_last_not_of('0') + 1);
    text += mantissa.substr(0, 1);
    if (mantissa.size() > 1)
        text += ',' + mantissa.substr(1);
    return text + 'E' + std::to_string(long(exponent) - 1);
}

} // namespace

std::optional<DeepFilmPath> DeepFilmPath::between(const View &start, const View &end, int frames, int wide,
                                                  int high, FilmPath::Refusal *whyNot)
{
    const auto refuse = [&](FilmPath::Refusal why) {
        if (whyNot)
            *whyNot = why;
        return std::nullopt;
    };
    const auto first = DeepView::make(start.texts.re, start.texts.im, start.texts.width, wide, high);
    const auto last = DeepView::make(end.texts.re, end.texts.im, end.texts.width, wide, high);
    if (!first || !last)
        return refuse(FilmPath::Refusal::Empty);
    const mpfr_prec_t precision = std::max(first->precision(), last->precision()) + MarginBits;
    const Numbers a = read(start.texts, precision), b = read(end.texts, precision);
    if (mpfr_equal_p(a.width.get(), b.width.get())
        && (!mpfr_equal_p(a.re.get(), b.re.get()) || !mpfr_equal_p(a.im.get(), b.im.get())))
        return refuse(FilmPath::Refusal::NoZoom);
    return DeepFilmPath(start, end, std::max(frames, 2), precision);
}

DeepFilmPath::DeepFilmPath(const View &start, const View &end, int frames, mpfr_prec_t precision)
    : m_start(start), m_end(end), m_frames(frames), m_precision(precision)
{
}

DeepFilmPath::View DeepFilmPath::frame(int k) const
{
    if (k <= 0)
        return m_start;
    if (k >= m_frames - 1)
        return m_end;
    const Numbers a = read(m_start.texts, m_precision), b = read(m_end.texts, m_precision);
    if (mpfr_equal_p(a.width.get(), b.width.get()))
        return m_start; // both views are the same
    // scale = r^t with r = b.width / a.width, t = k / (n − 1)
    MpReal ratio(m_precision), scale(m_precision), weight(m_precision), rest(m_precision);
    mpfr_div(ratio.get(), b.width.get(), a.width.get(), MPFR_RNDN);
    mpfr_log(scale.get(), ratio.get(), MPFR_RNDN);
    mpfr_mul_ui(scale.get(), scale.get(), static_cast<unsigned long>(k), MPFR_RNDN);
    mpfr_div_ui(scale.get(), scale.get(), static_cast<unsigned long>(m_frames - 1), MPFR_RNDN);
    mpfr_exp(scale.get(), scale.get(), MPFR_RNDN);
    // The start view's weight (scale − r) / (1 − r): 1 at the start, 0 at the end.
    mpfr_sub(weight.get(), scale.get(), ratio.get(), MPFR_RNDN);
    mpfr_ui_sub(rest.get(), 1, ratio.get(), MPFR_RNDN);
    mpfr_div(weight.get(), weight.get(), rest.get(), MPFR_RNDN);
    Numbers view(m_precision);
    mpfr_mul(view.width.get(), a.width.get(), scale.get(), MPFR_RNDN);
    const auto centre = [&](mpfr_srcptr from, mpfr_srcptr to, mpfr_ptr out) {
        mpfr_sub(out, from, to, MPFR_RNDN);
        mpfr_mul(out, out, weight.get(), MPFR_RNDN);
        mpfr_add(out, out, to, MPFR_RNDN);
    };
    centre(a.re.get(), b.re.get(), view.re.get());
    centre(a.im.get(), b.im.get(), view.im.get());
    // mpfr_log and mpfr_exp keep constants in caches of the calling thread,
    // which a worker thread would otherwise take with it when it ends.
    mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
    return {ViewTexts{textOf(view.re.get()), textOf(view.im.get()), textOf(view.width.get())}, std::nullopt};
}
