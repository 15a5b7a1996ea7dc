#include "pictures/surfacerecord.h"

void SurfaceRecord::runStarted(const Drawing &record, bool continued)
{
    // A fresh run draws every column anew; a continued one only those left,
    // over columns drawn with what the paused run read.
    if (!continued)
        m_oneDrawing = true;
    else if (!m_record || !m_record->drawsLike(record))
        m_oneDrawing = false;
    m_record = record;
    m_complete = false;
}

void SurfaceRecord::countsShown(const PictureCounts &counts)
{
    m_counts = counts;
}

void SurfaceRecord::runCompleted()
{
    m_complete = m_oneDrawing && m_record;
    if (m_complete)
        emit pictureCompleted(*m_record, m_counts.value_or(PictureCounts{}));
}

void SurfaceRecord::surfaceCleared()
{
    m_complete = false;
    m_oneDrawing = false;
}

void SurfaceRecord::replaced(const Drawing &record, bool complete,
                             const std::optional<PictureCounts> &counts)
{
    m_record = record;
    m_counts = counts;
    m_complete = complete;
    m_oneDrawing = complete;
}
