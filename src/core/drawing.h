#pragma once

#include "core/section.h"
#include "core/standardcolors.h"

#include <QString>

#include <array>
#include <cstdint>

// txtX0, txtX1, txtY0, txtY1, txtMaxIter when the window opens; the export's
// defaults too.
inline constexpr const char *StartFieldTexts[5] = {"-1,4025", "-1,4020", "0,0000", "0,0005", "300"};

// What a drawing is: the section and Imax the points are computed with, the
// palette F0..F7 they are coloured with, and the five field texts (txtX0,
// txtX1, txtY0, txtY1, txtMaxIter) as they stood when the numbers were read
// from them. The run, the pictures, the picture file and the export all pass
// this one value; whoever knows more about a picture wraps it.
struct Drawing
{
    Section section;
    std::int16_t imax = 0;
    Palette palette{};
    std::array<QString, 5> fieldTexts;

    // Same section, Imax and palette: the points two such drawings draw agree.
    bool drawsLike(const Drawing &other) const
    {
        return section == other.section && imax == other.imax && palette == other.palette;
    }
};
