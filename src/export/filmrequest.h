#pragma once

#include "core/section.h"
#include "export/viewtexts.h"
#include "picturefile/picturerecord.h"

#include <QString>

#include <cstdint>
#include <optional>

// What a zoom film is to show: from `start` into the end view of `end`
// (its section, Imax, palette, cycle and size W × H), both views already
// widened to the frame's shape, in `frames` frames at `fps` a second, of
// which frames firstFrame..lastFrame are made.
struct FilmRequest
{
    // A film with a view given by its centre and width (--re, --im, --width,
    // a deep picture, or a section too deep for doubles): its path is
    // computed in MPFR (DeepFilmPath), and `imax` replaces end's Imax.
    struct Deep
    {
        std::optional<ViewTexts> start; // else the section `start`
        std::optional<ViewTexts> end;   // else end.drawing.section
        std::int64_t imax = 300;
    };

    QString target; // an .mp4 file, or an existing folder for PNG frames
    PictureRecord end;
    Section start{-2, 2, -2, 2};
    int fps = 30;
    int frames = 600;
    int firstFrame = 0, lastFrame = 599;
    bool quiet = false;
    std::optional<Deep> deep;

    bool toFolder() const;
};
