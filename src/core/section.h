#pragma once

// A section of the complex plane as the render run reads it from the fields:
// x0 at the left edge, x1 at the right, y0 at the top, y1 at the bottom.
// Nothing requires x0 < x1 or y0 < y1; swapped edges mirror the picture.
struct Section
{
    double x0 = 0.0;
    double x1 = 0.0;
    double y0 = 0.0;
    double y1 = 0.0;

    bool operator==(const Section &) const = default;
};
