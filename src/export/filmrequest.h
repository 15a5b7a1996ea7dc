#pragma once

#include "core/section.h"
#include "picturefile/picturerecord.h"

#include <QString>

// What a zoom film is to show: from `start` into the end view of `end`
// (its section, Imax, palette, cycle and size W × H), both views already
// widened to the frame's shape, in `frames` frames at `fps` a second, of
// which frames firstFrame..lastFrame are made.
struct FilmRequest
{
    QString target; // an .mp4 file, or an existing folder for PNG frames
    PictureRecord end;
    Section start{-2, 2, -2, 2};
    int fps = 30;
    int frames = 600;
    int firstFrame = 0, lastFrame = 599;
    bool quiet = false;

    bool toFolder() const;
};
