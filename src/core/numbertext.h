#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// The conversions between the fields' texts and numbers. The decimal and
// group separators are parameters; the program passes its locale's.
namespace NumberText {

// Rule 1, text to number: optional blanks, an optional "+" or "-", digits,
// optionally a decimal separator and digits, optionally "E" or "e", an
// optional sign and digits, optional blanks. Both "," and "." are read as
// the decimal separator, besides `decimalSeparator` itself; at most one.
// The value is the nearest double; a text beyond the double range is none.
//   toNumber(u"-1,4025", ',') -> -1.4025     toNumber(u"1,25E-06", ',') -> 1.25e-6
//   toNumber(u"1,2,3", ',')  -> nullopt      toNumber(u"1E999", ',')    -> nullopt
std::optional<double> toNumber(QStringView text, QChar decimalSeparator);

// Rule 2, number to text: 15 significant digits, trailing zeros dropped,
// exponent form ("E", sign, at least two digits) when the decimal exponent
// is below -4 or above 14. `value` must be finite.
//   fromNumber(-1.402375, ',') -> "-1,402375"   fromNumber(400, ',') -> "400"
//   fromNumber(1.25e-6, ',')   -> "1,25E-06"    fromNumber(-0.0, ',') -> "0"
QString fromNumber(double value, QChar decimalSeparator);

// Rule 3, whole number to text: fromWhole(-12) -> "-12".
QString fromWhole(std::int64_t value);

// Imax: rule 1, rounded half to even, within -32768..32767.
//   toImax(u"300", ',') -> 300, toImax(u"2,5", ',') -> 2, toImax(u"40000", ',') -> nullopt
std::optional<std::int16_t> toImax(QStringView text, QChar decimalSeparator);

// Digits grouped in threes, as the patterns "###,###,##0" and "###,##0" show
// them: grouped(213444, u".") -> "213.444", grouped(0, u".") -> "0".
QString grouped(std::int64_t value, QStringView groupSeparator);

// Reads back what grouped() wrote (plain digits too), within the range of
// the result type; a separator anywhere but between groups of three makes
// it none: fromGrouped(u"213.444", u".") -> 213444,
// fromGrouped(u"2134.44", u".") -> nullopt.
std::optional<std::int64_t> fromGrouped(QStringView caption, QStringView groupSeparator);
std::optional<std::int32_t> fromGrouped32(QStringView caption, QStringView groupSeparator);

} // namespace NumberText
