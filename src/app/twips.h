#pragma once

#include <QPoint>
#include <QRect>

#include <cmath>

// The window is designed in twips; Qt's device-pixel ratio takes care of
// screens that are not at 96 dots per inch.
inline constexpr int TwipsPerPixel = 15;

// A twip position lands on the logical pixel that contains it.
inline QPoint twipsToPixel(int x, int y)
{
    return {x / TwipsPerPixel, y / TwipsPerPixel};
}

inline QRect twipsToPixels(int left, int top, int width, int height)
{
    return {left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
            height / TwipsPerPixel};
}

// For lengths that are not whole pixels, such as the progress bar's width.
inline int twipsToPixelLength(double twips)
{
    return int(std::lround(twips / TwipsPerPixel));
}
