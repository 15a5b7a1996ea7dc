#pragma once

#include "core/drawing.h"
#include "core/picturecounts.h"

#include <QObject>

#include <optional>

// What the picture on the surface is: the record of the last run that drew
// on it (or of the file or history entry put there), and whether it is
// complete: every column drawn with one section, Imax and palette since the
// last Refresh; and the counters that go with it. A run paused and continued with the same values still
// completes the picture; a change during the pause, or a Refresh, does not.
class SurfaceRecord : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // nullopt until a run has drawn or a picture was put on the surface.
    const std::optional<Drawing> &record() const { return m_record; }
    bool isComplete() const { return m_complete; }
    // nullopt for a picture from a file that has none.
    const std::optional<PictureCounts> &counts() const { return m_counts; }

    void runStarted(const Drawing &record, bool continued);
    void countsShown(const PictureCounts &counts);
    void runCompleted();
    void surfaceCleared();
    // A picture from a file or the history replaced the surface's.
    void replaced(const Drawing &record, bool complete, const std::optional<PictureCounts> &counts);

signals:
    // A run has just completed the picture now on the surface.
    void pictureCompleted(const Drawing &record, const PictureCounts &counts);

private:
    std::optional<Drawing> m_record;
    std::optional<PictureCounts> m_counts;
    bool m_complete = false;
    bool m_oneDrawing = false; // every column since the last Refresh drawn alike
};
