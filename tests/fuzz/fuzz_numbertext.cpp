// libFuzzer target for the text-to-number rule. The first byte picks the
// decimal separator and how the rest is decoded; the rest is the text.
//
// Checks, each against an independent reading:
// - an accepted text matches the grammar (std::regex on the text with
//   separators and blanks normalised) and its value is finite and equal to
//   the C library's reading of the same digits;
// - a rejected text that matches the grammar lies beyond the double range;
// - the number-to-text form of an accepted value reads back to that value
//   rounded to 15 significant digits, a comma or full-stop text under
//   either of the two.

#include "core/numbertext.h"

#include <QString>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <optional>
#include <regex>
#include <string>

namespace {

const QChar Separators[] = {QChar(u','), QChar(u'.'), QChar(0x066B)};
constexpr int SeparatorCount = 3;
constexpr size_t MaxText = 1024; // keeps std::regex's recursion off the stack limit

const std::regex &grammar()
{
    static const std::regex pattern(R"(^ *[+-]?[0-9]+(\.[0-9]+)?([eE][+-]?[0-9]+)? *$)");
    return pattern;
}

// Decimal separators become '.', blanks ' ', anything else beyond ASCII '?'.
std::string normalised(const QString &text, QChar separator)
{
    std::string ascii;
    ascii.reserve(size_t(text.size()));
    for (const QChar c : text) {
        if (c == separator || c == u',' || c == u'.')
            ascii += '.';
        else if (c.isSpace())
            ascii += ' ';
        else if (c.unicode() < 0x80)
            ascii += char(c.unicode());
        else
            ascii += '?';
    }
    return ascii;
}

double cReading(const std::string &ascii)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(ascii.c_str(), nullptr, cLocale);
}

double roundedTo15Digits(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const double rounded = cReading(buffer);
    // The largest doubles' 15-digit rounding overflows; the text rounds down.
    return std::isinf(rounded) ? std::copysign(1.79769313486231e308, value) : rounded;
}

[[noreturn]] void fail(const char *what, const QString &text, QChar separator)
{
    std::fprintf(stderr, "%s: text \"%s\" separator U+%04X\n", what,
                 text.toUtf8().constData(), separator.unicode());
    std::abort();
}

void checkReadsBack(double value, QChar separator, const QString &source)
{
    const QString text = NumberText::fromNumber(value, separator);
    if (!std::regex_match(normalised(text, separator), grammar()))
        fail("number text outside the grammar", text, separator);
    const double expected = roundedTo15Digits(value);
    auto readBack = [&](QChar reader) {
        const std::optional<double> back = NumberText::toNumber(text, reader);
        if (!back || *back != expected)
            fail("number text does not read back", source + " -> " + text, reader);
    };
    readBack(separator);
    // A comma text reads under full-stop settings and the other way round.
    if (separator == u',')
        readBack(u'.');
    else if (separator == u'.')
        readBack(u',');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    if (size < 1 || size > MaxText + 1)
        return 0;
    const QChar separator = Separators[data[0] % SeparatorCount];
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    const QString text = (data[0] / SeparatorCount) % 2 ? QString::fromUtf8(bytes, length)
                                                        : QString::fromLatin1(bytes, length);

    const std::optional<double> value = NumberText::toNumber(text, separator);
    const std::string ascii = normalised(text, separator);
    const bool inGrammar = std::regex_match(ascii, grammar());
    if (value) {
        if (!inGrammar)
            fail("accepted outside the grammar", text, separator);
        if (!std::isfinite(*value))
            fail("accepted a value that is not finite", text, separator);
        if (std::bit_cast<std::uint64_t>(*value) != std::bit_cast<std::uint64_t>(cReading(ascii)))
            fail("value is not the nearest double", text, separator);
        checkReadsBack(*value, separator, text);
    } else if (inGrammar && std::isfinite(cReading(ascii))) {
        fail("rejected a text of the grammar", text, separator);
    }
    return 0;
}
