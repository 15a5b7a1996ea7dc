#pragma once

#include <cstdint>

// Colours as the design writes them: 0x00BBGGRR, red in the low byte.
// 0x800000nn names a system colour.
using ColorRef = std::uint32_t;

inline constexpr int redOf(ColorRef ref) { return int(ref & 0xFF); }
inline constexpr int greenOf(ColorRef ref) { return int((ref >> 8) & 0xFF); }
inline constexpr int blueOf(ColorRef ref) { return int((ref >> 16) & 0xFF); }

inline constexpr ColorRef colorRef(int red, int green, int blue)
{
    return ColorRef(red & 0xFF) | ColorRef(green & 0xFF) << 8 | ColorRef(blue & 0xFF) << 16;
}

// The opaque 0xAARRGGBB value that images store.
inline constexpr std::uint32_t opaqueArgb(ColorRef ref)
{
    return 0xFF000000u | std::uint32_t(redOf(ref)) << 16 | std::uint32_t(greenOf(ref)) << 8
        | std::uint32_t(blueOf(ref));
}
