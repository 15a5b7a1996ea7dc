#include "export/posterrender.h"

#include "export/bandring.h"
#include "core/workerthreads.h"
#include "picturefile/pngbandwriter.h"

#include <algorithm>
#include <time.h>

namespace {

// Pieces small enough that the last band does not leave a core idle for long.
constexpr int SlicesPerBand = 32;

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

} // namespace

PosterRender::PosterRender(const PosterFrame &frame, int firstRow, int lastRow, std::size_t bandBytes)
    : PosterRender(std::make_unique<BandComputer>(frame), frame.size, firstRow, lastRow, bandBytes)
{
}

PosterRender::PosterRender(std::unique_ptr<FrameComputer> computer, int width, int firstRow, int lastRow,
                           std::size_t bandBytes)
    : m_computer(std::move(computer)),
      m_width(width),
      m_firstRow(firstRow),
      m_rows(lastRow - firstRow + 1),
      m_bandRows(bandRows(width, m_rows, bandBytes)),
      m_slicesPerBand(std::min(SlicesPerBand, width)),
      m_bandBudget(bandBytes),
      m_threads(workerCount())
{
}

int PosterRender::bandRows(int size, int rows, std::size_t bandBytes)
{
    constexpr std::size_t MaxBandRows = 64;
    const std::size_t fitting = std::min(bandBytes / std::size_t(size), MaxBandRows);
    return std::clamp(int(fitting), 1, std::max(rows, 1));
}

bool PosterRender::run(PngBandWriter &writer)
{
    const int bands = (m_rows + m_bandRows - 1) / m_bandRows;
    const std::size_t bandBytes = std::size_t(m_bandRows) * std::size_t(m_width);
    // Thin bands get more slots, so the workers may run as far ahead as
    // with full ones.
    const std::size_t slotCount = 2 * std::size_t(m_threads) * std::max<std::size_t>(m_bandBudget / bandBytes, 1);
    BandRing ring(bands, m_slicesPerBand, int(std::min<std::size_t>(slotCount, std::size_t(bands))), bandBytes);
    WorkerThreads workers(m_threads, [&] { work(ring); }, [&] { ring.cancel(); });
    bool written = false;
    {
        // Whatever ends the writing, an exception too, lets the workers go
        // before they are joined.
        const CancelRingOnExit cancel{ring};
        // Where no worker could start, this thread computes each band
        // before writing it.
        written = write(ring, writer, workers.started() == 0);
    }
    workers.join();
    workers.rethrowFailure();
    return written;
}

void PosterRender::work(BandRing &ring) const
{
    while (const auto piece = ring.claim())
        compute(*piece, ring);
}

// The next band's pieces, claimed in order: with no worker claiming, they
// are all of the band the writer waits for.
void PosterRender::workOneBand(BandRing &ring) const
{
    for (int k = 0; k < m_slicesPerBand; ++k) {
        if (const auto piece = ring.claim())
            compute(*piece, ring);
    }
}

void PosterRender::compute(const BandRing::Piece &piece, BandRing &ring) const
{
    const int first = m_firstRow + piece.band * m_bandRows;
    const int rows = std::min(m_bandRows, m_firstRow + m_rows - first);
    m_computer->computePiece(first, rows, piece.slice, m_slicesPerBand, piece.pixels);
    ring.pieceDone(piece.band);
}

bool PosterRender::write(BandRing &ring, PngBandWriter &writer, bool computeHere)
{
    const double start = threadSeconds();
    int done = 0;
    bool ok = true;
    while (ok && done < m_rows) {
        if (computeHere)
            workOneBand(ring);
        const auto pixels = ring.nextBand();
        if (!pixels)
            break;
        const int rows = std::min(m_bandRows, m_rows - done);
        ok = writer.writeRows(*pixels, rows);
        ring.bandWritten();
        done += rows;
        if (ok && m_progress)
            m_progress(done, m_rows);
    }
    // Stops the workers too when the writing failed.
    ring.cancel();
    m_writerSeconds = threadSeconds() - start;
    return ok && done == m_rows;
}
