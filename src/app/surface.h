#pragma once

#include <QImage>
#include <QRect>

// The retained picture of the drawing surface, so that points survive any
// repaint the system causes. It covers the 400 × 400 logical pixels inside
// the frame whose top-left corner is at (1440, 60) twips; points elsewhere
// are dropped.
class Surface
{
public:
    static constexpr int LeftTwips = 1440;
    static constexpr int TopTwips = 60;
    static constexpr int SidePixels = 400;

    Surface();

    // The point (x, y) twips lands on the pixel (floor(x/15), floor(y/15));
    // a later point overwrites an earlier one.
    void setPoint(int xTwips, int yTwips, QRgb color)
    {
        const int x = xTwips / 15 - m_origin.x();
        const int y = yTwips / 15 - m_origin.y();
        if (unsigned(x) < unsigned(SidePixels) && unsigned(y) < unsigned(SidePixels))
            reinterpret_cast<QRgb *>(m_image.scanLine(y))[x] = color;
    }

    void clear();

    const QImage &image() const { return m_image; }
    // Where the picture lies in the window, in logical pixels.
    QRect rect() const { return {m_origin, QSize(SidePixels, SidePixels)}; }

private:
    QPoint m_origin;
    QImage m_image;
};
