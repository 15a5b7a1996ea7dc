#pragma once

#include "core/colorref.h"

#include <QImage>
#include <QPoint>

// The window's drawing operations as the handlers use them.
class DrawingSurface
{
public:
    virtual ~DrawingSurface() = default;

    // Sets one point at a twip position of the window; it lands on the
    // logical pixel that contains it, and a later point on the same pixel
    // wins. Points off the drawing surface are dropped.
    virtual void setPoint(QPoint twips, ColorRef color) = 0;

    // Brings the points set so far to the screen.
    virtual void showPoints() = 0;

    // Refresh: clears the drawn points and repaints the whole window at once.
    virtual void clear() = 0;

    // The whole picture, 400 × 400 logical pixels; undrawn ones are
    // transparent.
    virtual const QImage &picture() const = 0;

    // Puts a whole picture of that size on the surface at once and shows it.
    virtual void setPicture(const QImage &picture) = 0;
};
