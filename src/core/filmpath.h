#pragma once

#include "core/section.h"

#include <optional>

// The views of a zoom film: a pure zoom about the one fixed point that takes
// the start view to the end view, the width shrinking (or growing) by the
// same factor from frame to frame, so that the zoom feels steady. Frame 0
// is the start view and the last frame the end view, bit for bit. Each axis
// keeps its own factor, so two views of the same shape up to rounding give
// frames of that shape. Plain values: a frame is a Section, computed from
// the two views and its number alone.
//   FilmPath::between({-2, 2, -2, 2}, {0, 1, 0, 1}, 3)->frame(1) -> {-2/3, 4/3, -2/3, 4/3}, about 2/3 + 2/3i
class FilmPath
{
public:
    enum class Refusal {
        Mirrored, // one axis runs the other way in the end view than in the start view
        Empty,    // a view without width or height
        NoZoom,   // views of the same size at different places: only a pan would join them
    };

    // At least two frames.
    static std::optional<FilmPath> between(const Section &start, const Section &end, int frames,
                                           Refusal *whyNot = nullptr);

    int frames() const { return m_frames; }
    Section frame(int k) const;
    // Width (and height) of frame k + 1 over that of frame k.
    double stepX() const;
    double stepY() const;
    // The point of the plane that stays on the same spot of every frame.
    double fixedX() const;
    double fixedY() const;

private:
    FilmPath(const Section &start, const Section &end, int frames, double ratioX, double ratioY);

    Section m_start;
    Section m_end;
    int m_frames;
    double m_ratioX; // end width over start width
    double m_ratioY;
};
