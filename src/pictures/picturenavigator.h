#pragma once

#include "pictures/picturehistory.h"

#include <QObject>

class DrawingSurface;
class PictureRestorer;
class SurfaceRecord;

// Back and Forward through the complete pictures: every run that completes
// the picture adds it; going back or forward puts an entry's fields,
// palette and picture back without a run.
class PictureNavigator : public QObject
{
    Q_OBJECT

public:
    PictureNavigator(DrawingSurface &surface, SurfaceRecord &surfaceRecord,
                     PictureRestorer &restorer, QObject *parent = nullptr);

    void back();
    void forward();
    // Something that is no entry is on the surface now.
    void leave() { m_history.leave(); }

    const PictureHistory &history() const { return m_history; }

private:
    void add(const Drawing &record, const PictureCounts &counts);
    void show(const PictureHistory::Entry *entry);

    DrawingSurface &m_surface;
    SurfaceRecord &m_surfaceRecord;
    PictureRestorer &m_restorer;
    PictureHistory m_history;
};
