#pragma once

#include "core/colorref.h"

#include <array>

inline constexpr int PaletteSize = 8;

// F0..F7, the swatch colours of the iteration counts.
using Palette = std::array<ColorRef, PaletteSize>;

// F0..F7 at start and after a reset: red, yellow, green, blue, magenta,
// dark cyan, dark orange, black.
inline constexpr Palette StandardColors{
    0x000000FF, 0x0000FFFF, 0x0000FF00, 0x00FF0000,
    0x00FF00FF, 0x00C0C000, 0x000040C0, 0x00000000,
};
