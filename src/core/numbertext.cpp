#include "core/numbertext.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace NumberText {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Copies a run of ASCII digits into `out`; false if there is none.
bool takeDigits(QStringView text, qsizetype &pos, std::string &out)
{
    const qsizetype start = pos;
    while (pos < text.size() && isDigit(text[pos]))
        out += char(text[pos++].unicode());
    return pos > start;
}

bool takeSign(QStringView text, qsizetype &pos, std::string &out)
{
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        if (text[pos] == u'-')
            out += '-';
        ++pos;
        return true;
    }
    return false;
}

// Plain digits, or digits in groups of three as grouped() writes them:
// "1.234.567" but not "1.2.3" nor "1234.567", which grouped() never writes.
bool takeGroupedDigits(QStringView text, qsizetype &pos, QStringView groupSeparator,
                       std::string &out)
{
    const size_t start = out.size();
    if (!takeDigits(text, pos, out))
        return false;
    const size_t leading = out.size() - start;
    bool isGrouped = false;
    while (!groupSeparator.isEmpty() && text.sliced(pos).startsWith(groupSeparator)) {
        pos += groupSeparator.size();
        const size_t before = out.size();
        if (!takeDigits(text, pos, out) || out.size() - before != 3)
            return false;
        isGrouped = true;
    }
    return !isGrouped || leading <= 3;
}

// from_chars calls an underflow out of range as well; the nearest double
// of a tiny text is zero or a subnormal, which is a number all the same.
std::optional<double> nearestDouble(const std::string &ascii)
{
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error == std::errc())
        return value;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    value = strtod_l(ascii.c_str(), nullptr, cLocale);
    if (std::isfinite(value))
        return value;
    return std::nullopt;
}

} // namespace

std::optional<double> toNumber(QStringView text, QChar decimalSeparator)
{
    const QStringView t = text.trimmed();
    std::string ascii;
    ascii.reserve(size_t(t.size()));
    qsizetype pos = 0;
    takeSign(t, pos, ascii);
    if (!takeDigits(t, pos, ascii))
        return std::nullopt;
    if (pos < t.size() && (t[pos] == u',' || t[pos] == u'.' || t[pos] == decimalSeparator)) {
        ascii += '.';
        ++pos;
        if (!takeDigits(t, pos, ascii))
            return std::nullopt;
    }
    if (pos < t.size() && (t[pos] == u'E' || t[pos] == u'e')) {
        ascii += 'e';
        ++pos;
        takeSign(t, pos, ascii);
        if (!takeDigits(t, pos, ascii))
            return std::nullopt;
    }
    if (pos != t.size())
        return std::nullopt;
    return nearestDouble(ascii);
}

QString fromNumber(double value, QChar decimalSeparator)
{
    if (value == 0)
        return QStringLiteral("0");
    // The 15-digit rounding of the largest doubles lies beyond the double
    // range and would not read back; those keep the digits rounded down.
    constexpr double LargestReadable = 1.79769313486231e308;
    if (std::fabs(value) > LargestReadable)
        value = std::copysign(LargestReadable, value);

    // The general format is rule 2 itself: 15 significant digits, trailing
    // zeros dropped, the exponent form below 1E-4 and from 1E15 on, the
    // exponent with its sign and at least two digits ("1.25e-06").
    char buffer[32];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value,
                                      std::chars_format::general, 15);
    QString text;
    text.reserve(result.ptr - buffer);
    for (const char *c = buffer; c != result.ptr; ++c) {
        if (*c == '.')
            text += decimalSeparator;
        else if (*c == 'e')
            text += u'E';
        else
            text += QLatin1Char(*c);
    }
    return text;
}

QString fromWhole(std::int64_t value)
{
    return QString::number(value);
}

std::optional<std::int16_t> toImax(QStringView text, QChar decimalSeparator)
{
    const std::optional<double> number = toNumber(text, decimalSeparator);
    if (!number)
        return std::nullopt;
    const double rounded = std::nearbyint(*number); // ties to even
    if (rounded < std::numeric_limits<std::int16_t>::min()
        || rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return std::int16_t(rounded);
}

QString grouped(std::int64_t value, QStringView groupSeparator)
{
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? 0 - std::uint64_t(value) : std::uint64_t(value);
    const QString digits = QString::number(magnitude);
    QString text = negative ? QStringLiteral("-") : QString();
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += groupSeparator;
        text += digits[i];
    }
    return text;
}

std::optional<std::int64_t> fromGrouped(QStringView caption, QStringView groupSeparator)
{
    const QStringView text = caption.trimmed();
    std::string ascii;
    qsizetype pos = 0;
    takeSign(text, pos, ascii);
    if (!takeGroupedDigits(text, pos, groupSeparator, ascii) || pos != text.size())
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc())
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> fromGrouped32(QStringView caption, QStringView groupSeparator)
{
    const std::optional<std::int64_t> value = fromGrouped(caption, groupSeparator);
    if (!value || *value < std::numeric_limits<std::int32_t>::min()
        || *value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::int32_t(*value);
}

} // namespace NumberText
