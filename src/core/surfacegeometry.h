#pragma once

#include <QPoint>
#include <QRect>

#include <cmath>

// The window is designed in twips, 1/1440 inch, with the origin at the top
// left of the client area; Qt's device-pixel ratio takes care of screens
// that are not at 96 dots per inch.
inline constexpr int TwipsPerPixel = 15;

// The drawing surface: x = 1440..7440, y = 60..6060 twips, framed by four
// lines; 400 × 400 logical pixels.
inline constexpr int SurfaceLeftTwips = 1440;
inline constexpr int SurfaceTopTwips = 60;
inline constexpr int SurfaceTwips = 6000;
inline constexpr int SurfaceRightTwips = SurfaceLeftTwips + SurfaceTwips;
inline constexpr int SurfaceBottomTwips = SurfaceTopTwips + SurfaceTwips;
inline constexpr int SurfacePixels = SurfaceTwips / TwipsPerPixel;

// A twip position lands on the logical pixel that contains it.
inline constexpr QPoint twipsToPixel(int x, int y)
{
    return {x / TwipsPerPixel, y / TwipsPerPixel};
}

inline constexpr QRect twipsToPixels(int left, int top, int width, int height)
{
    return {left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
            height / TwipsPerPixel};
}

// For lengths that are not whole pixels, such as the progress bar's width.
inline int twipsToPixelLength(double twips)
{
    return int(std::lround(twips / TwipsPerPixel));
}

// The surface in the window's logical pixels: (96, 4), 400 × 400.
inline constexpr QRect SurfaceRect =
    twipsToPixels(SurfaceLeftTwips, SurfaceTopTwips, SurfaceTwips, SurfaceTwips);
