#include "pictures/picturenavigator.h"

#include "form/drawingsurface.h"
#include "pictures/indexedpicture.h"
#include "pictures/picturerestorer.h"
#include "pictures/surfacerecord.h"

PictureNavigator::PictureNavigator(DrawingSurface &surface, SurfaceRecord &surfaceRecord,
                                   PictureRestorer &restorer, QObject *parent)
    : QObject(parent), m_surface(surface), m_surfaceRecord(surfaceRecord), m_restorer(restorer)
{
    connect(&surfaceRecord, &SurfaceRecord::pictureCompleted, this, &PictureNavigator::add);
}

void PictureNavigator::add(const Drawing &record, const PictureCounts &counts)
{
    // A complete picture holds at most the eight swatch colours.
    if (const std::optional<QImage> indexed =
            IndexedPicture::fromPicture(m_surface.picture(), qRgba(0, 0, 0, 0)))
        m_history.add(record, counts, *indexed);
}

void PictureNavigator::back()
{
    show(m_history.back());
}

void PictureNavigator::forward()
{
    show(m_history.forward());
}

void PictureNavigator::show(const PictureHistory::Entry *entry)
{
    if (!entry)
        return;
    m_restorer.restore(entry->record, entry->counts, IndexedPicture::toPicture(entry->picture));
    m_surfaceRecord.replaced(entry->record, true, entry->counts);
}
