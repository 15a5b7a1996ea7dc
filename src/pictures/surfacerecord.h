#pragma once

#include "core/drawing.h"

#include <QObject>

#include <optional>

// What the picture on the surface is: the record of the last run that drew
// on it (or of the file or history entry put there), and whether it is
// complete: every column drawn with one section, Imax and palette since the
// last Refresh. A run paused and continued with the same values still
// completes the picture; a change during the pause, or a Refresh, does not.
class SurfaceRecord : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // nullopt until a run has drawn or a picture was put on the surface.
    const std::optional<Drawing> &record() const { return m_record; }
    bool isComplete() const { return m_complete; }

    void runStarted(const Drawing &record, bool continued);
    void runCompleted();
    void surfaceCleared();
    // A picture from a file or the history replaced the surface's.
    void replaced(const Drawing &record, bool complete);

signals:
    // A run has just completed the picture now on the surface.
    void pictureCompleted(const Drawing &record);

private:
    std::optional<Drawing> m_record;
    bool m_complete = false;
    bool m_oneDrawing = false; // every column since the last Refresh drawn alike
};
