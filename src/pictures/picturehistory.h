#pragma once

#include "core/drawing.h"
#include "core/picturecounts.h"

#include <QImage>

#include <deque>

// The complete pictures a user can go back and forward through, as a
// browser keeps the pages visited: the last `Bound` entries, each with its
// record, its counters and its picture at one byte a pixel.
//
// The history is either at an entry (the one shown after add, back or
// forward) or off it (something else is on the surface: a newer run, an
// opened file, a cleared surface). Off an entry, back() returns to the
// entry last shown and forward() has nothing.
//   add A, add B, add C       at C
//   back -> B, back -> A      at A
//   forward -> B, add D       A B D, at D: C is dropped
class PictureHistory
{
public:
    static constexpr int Bound = 100;

    struct Entry
    {
        Drawing record;
        PictureCounts counts;
        QImage picture; // Format_Indexed8
    };

    // Appends after the entry last shown, dropping those ahead of it, and
    // the oldest beyond the bound; the history is then at the new entry.
    void add(const Drawing &record, const PictureCounts &counts, const QImage &indexedPicture);

    // Something that is no entry is on the surface now.
    void leave() { m_atEntry = false; }

    // The entry to show, or nullptr where there is none in that direction.
    const Entry *back();
    const Entry *forward();

    bool canGoBack() const { return !m_entries.empty() && (!m_atEntry || m_current > 0); }
    bool canGoForward() const { return m_atEntry && m_current + 1 < m_entries.size(); }
    std::size_t size() const { return m_entries.size(); }

private:
    std::deque<Entry> m_entries;
    std::size_t m_current = 0;
    bool m_atEntry = false;
};
