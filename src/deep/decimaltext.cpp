#include "deep/decimaltext.h"

#include "deep/mpreal.h"

#include <string>

namespace DecimalText {

namespace {

// Bigger exponents than this are refused rather than risk MPFR's range.
constexpr std::size_t MaxExponentDigits = 9;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::size_t digitsFrom(std::string_view text, std::size_t pos)
{
    std::size_t end = pos;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return end - pos;
}

// The text in C's form ("." and "e"), or empty if it is not rule 1's form.
std::string asciiForm(std::string_view text)
{
    const std::string_view t = trimmed(text);
    std::string out;
    std::size_t pos = 0;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-'))
        out += t[pos++];
    std::size_t run = digitsFrom(t, pos);
    if (run == 0)
        return {};
    out.append(t.substr(pos, run));
    pos += run;
    if (pos < t.size() && (t[pos] == ',' || t[pos] == '.')) {
        run = digitsFrom(t, ++pos);
        if (run == 0)
            return {};
        out += '.';
        out.append(t.substr(pos, run));
        pos += run;
    }
    if (pos < t.size() && (t[pos] == 'E' || t[pos] == 'e')) {
        out += 'e';
        ++pos;
        if (pos < t.size() && (t[pos] == '+' || t[pos] == '-'))
            out += t[pos++];
        run = digitsFrom(t, pos);
        if (run == 0 || run > MaxExponentDigits)
            return {};
        out.append(t.substr(pos, run));
        pos += run;
    }
    return pos == t.size() ? out : std::string();
}

} // namespace

bool isDecimal(std::string_view text)
{
    return !asciiForm(text).empty();
}

bool read(std::string_view text, mpfr_ptr out)
{
    const std::string ascii = asciiForm(text);
    if (ascii.empty())
        return false;
    // mpfr_strtofr rounds the whole decimal value once, correctly.
    char *end = nullptr;
    MpReal value(mpfr_get_prec(out));
    mpfr_strtofr(value.get(), ascii.c_str(), &end, 10, MPFR_RNDN);
    // Beyond MPFR's exponent range (about 1E±323228496) the text is refused.
    if (end != ascii.c_str() + ascii.size() || !mpfr_number_p(value.get()))
        return false;
    mpfr_set(out, value.get(), MPFR_RNDN);
    return true;
}

} // namespace DecimalText
