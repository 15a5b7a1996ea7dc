#pragma once

#include "core/section.h"
#include "export/viewtexts.h"

#include <optional>
#include <string>

// A section's view by centre and width, formed without rounding: the centre
// is the exact midpoint of the edges (a finite decimal, as the edges are),
// the width the section's width or, where the section is taller than the
// picture's shape, its height × W / H, widened as squarePixels() widens.
//   viewOfCorners({"-1", "1", "0", "0,5"}, 4, 1) -> {"0", "0,25", "2"}
namespace ExactView {

enum class Refusal {
    NotDecimal, // a text is not rule 1's form (or its exponent is beyond ±20000)
    Empty,      // no width or no height
    Mirrored,   // x1 < x0 or y1 < y0: a centre and a width cannot say so
};

// Corners x0, x1, y0, y1 as texts, for a W × H picture. With `mirrored`,
// a mirrored section is not refused: its view is that of the section the
// right way round, and *mirrored says whether it was.
std::optional<ViewTexts> viewOfCorners(const std::string (&corners)[4], int wide, int high,
                                       Refusal *whyNot = nullptr, bool *mirrored = nullptr);
// The same for a section of doubles, each edge taken exactly as it is.
std::optional<ViewTexts> viewOfSection(const Section &section, int wide, int high, Refusal *whyNot = nullptr);

// The shortest decimal text of a double that reads back exactly as it
// (every double is a finite decimal): exactText(0.5) -> "5E-1".
std::string exactText(double value);

} // namespace ExactView
