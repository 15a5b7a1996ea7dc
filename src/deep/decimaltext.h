#pragma once

#include <mpfr.h>

#include <string_view>

// Decimal texts of any length in rule 1's form: optional blanks, an optional
// "+" or "-", digits, optionally "," or "." and digits, optionally "E" or "e"
// with an optional sign and digits, optional blanks. Nothing is rounded to a
// double on the way.
namespace DecimalText {

// Whether the text has that form (an exponent of at most 9 digits).
//   isDecimal("-1,4025E-300") -> true     isDecimal("1,2,3") -> false
bool isDecimal(std::string_view text);

// Reads the text into `out`, rounded once to the nearest number of out's
// precision (ties to even); false, leaving `out` alone, if it is not in
// that form. Read at enough precision, a text reads back exactly:
//   read("0,1", x) at 4 bits -> x == 0.09375 (binary 0.00011)
bool read(std::string_view text, mpfr_ptr out);

} // namespace DecimalText
