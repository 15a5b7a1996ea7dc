#pragma once

#include <cstdint>

// What the counters show of a picture: "Bildpunkte", the points drawn
// (lblPixel), and "Berechnungen", their iterations added up (lblCounts).
struct PictureCounts
{
    std::int64_t pixels = 0;
    std::int64_t iterations = 0;

    bool operator==(const PictureCounts &) const = default;
};
