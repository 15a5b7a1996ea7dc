#include "pictures/picturehistory.h"

void PictureHistory::add(const Drawing &record, const PictureCounts &counts,
                         const QImage &indexedPicture)
{
    Q_ASSERT(indexedPicture.format() == QImage::Format_Indexed8);
    if (!m_entries.empty())
        m_entries.erase(m_entries.begin() + std::ptrdiff_t(m_current) + 1, m_entries.end());
    m_entries.push_back({record, counts, indexedPicture});
    if (m_entries.size() > std::size_t(Bound))
        m_entries.pop_front();
    m_current = m_entries.size() - 1;
    m_atEntry = true;
}

const PictureHistory::Entry *PictureHistory::back()
{
    if (!canGoBack())
        return nullptr;
    if (m_atEntry)
        --m_current;
    m_atEntry = true;
    return &m_entries[m_current];
}

const PictureHistory::Entry *PictureHistory::forward()
{
    if (!canGoForward())
        return nullptr;
    ++m_current;
    return &m_entries[m_current];
}
