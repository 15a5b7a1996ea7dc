#pragma once

#include <charconv>
#include <cmath>
#include <system_error>

// What the number-to-text rule keeps of a value: 15 significant digits,
// ties rounded as the C library rounds them.
inline double roundedTo15Digits(double value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14);
    double rounded = 0;
    const auto read = std::from_chars(text, written.ptr, rounded);
    // The largest doubles' 15-digit rounding overflows; the text rounds down.
    if (read.ec == std::errc::result_out_of_range)
        return std::copysign(1.79769313486231e308, value);
    return rounded;
}
