#pragma once

#include "core/section.h"

#include <cstdint>
#include <vector>

// The window's 400 × 400 picture of a section as palette indices F0..F7,
// row by row from the top: the 462 × 462 grid drawn as the window draws it,
// column by column from the left, each column from the bottom, the last
// point on a pixel winning. The columns are computed on up to `threads` threads
// (this one among them), as many as can start; `cycle` as for swatchForCount.
std::vector<std::uint8_t> windowPicture(const Section &section, std::int16_t imax, int threads, bool cycle = false);
