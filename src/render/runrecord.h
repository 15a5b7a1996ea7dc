#pragma once

#include "core/colorref.h"

#include <QString>

#include <array>
#include <cstdint>

// What a render run read at its start: the five field texts as they stood
// (txtX0, txtX1, txtY0, txtY1, txtMaxIter), the section and Imax they gave,
// and the palette F0..F7.
struct RunRecord
{
    std::array<QString, 5> fieldTexts;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    std::int16_t imax = 0;
    std::array<ColorRef, 8> palette{};

    // Same section, Imax and palette: the points two such runs draw agree.
    bool drawsLike(const RunRecord &other) const
    {
        return x0 == other.x0 && x1 == other.x1 && y0 == other.y0 && y1 == other.y1
            && imax == other.imax && palette == other.palette;
    }
};
