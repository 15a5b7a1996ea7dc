#pragma once

#include "core/filmpath.h"
#include "core/section.h"
#include "export/viewtexts.h"

#include <mpfr.h>

#include <optional>
#include <vector>

// The views of a zoom film computed in MPFR, for films that reach below what
// doubles hold: the same pure zoom as FilmPath (one fixed point, the width
// shrinking by the same factor from frame to frame), each frame's centre and
// width formed at a precision enough for the deepest frame (its P + 64 bits)
// and written out as decimal texts with all those digits. Frame 0 and the
// last frame are the start and end views themselves, texts unchanged.
//   frame k: width = w0 · r^t, centre = c1 + (r^t − r)/(1 − r) · (c0 − c1), t = k / (n − 1)
class DeepFilmPath
{
public:
    // A view of a film: its texts, and for a view given as a section of
    // doubles that section, which its frame then shows bit for bit.
    struct View
    {
        ViewTexts texts;
        std::optional<Section> section;
    };

    // Views of the shape W × H (the height is width × H / W); at least two frames.
    static std::optional<DeepFilmPath> between(const View &start, const View &end, int frames, int wide, int high,
                                               FilmPath::Refusal *whyNot = nullptr);

    int frames() const { return m_frames; }
    View frame(int k) const;
    // Bits the frames' views are formed with.
    mpfr_prec_t precision() const { return m_precision; }

private:
    DeepFilmPath(const View &start, const View &end, int frames, mpfr_prec_t precision);

    View m_start;
    View m_end;
    int m_frames;
    mpfr_prec_t m_precision;
};
