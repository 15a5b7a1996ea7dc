#include "export/filmrender.h"

#include "export/bandring.h"
#include "export/framesink.h"
#include "export/posterrender.h"
#include "core/workerthreads.h"

#include <algorithm>

namespace {

// As for a still: small pieces, so that no core waits long at the end.
constexpr int SlicesPerBand = 32;

} // namespace

// A frame's computer, built once by the first thread that needs it; the
// others wait for it there, not on the film's lock (a deep frame's
// reference orbit takes a while).
struct FilmRender::Slot
{
    std::once_flag built;
    std::unique_ptr<FrameComputer> computer;
};

FilmRender::FilmRender(ComputerAt computerAt, int firstFrame, int lastFrame, int width, int height)
    : m_computerAt(std::move(computerAt)),
      m_firstFrame(firstFrame),
      m_frames(lastFrame - firstFrame + 1),
      m_width(width),
      m_height(height),
      m_bandRows(PosterRender::bandRows(width, height)),
      m_bandsPerFrame((height + m_bandRows - 1) / m_bandRows),
      m_slicesPerBand(std::min(SlicesPerBand, width)),
      m_threads(workerCount()),
      m_slots(std::size_t(m_frames))
{
}

FilmRender::~FilmRender() = default;

bool FilmRender::run(FrameSink &sink)
{
    const std::size_t bandBytes = std::size_t(m_bandRows) * std::size_t(m_width);
    std::size_t slotCount = 2 * std::size_t(m_threads) * std::max<std::size_t>(PosterRender::BandBytes / bandBytes, 1);
    if (m_framesAhead > 0)
        slotCount = std::min(slotCount, std::size_t(m_framesAhead) * std::size_t(m_bandsPerFrame));
    const long long bands = (long long)(m_frames) * m_bandsPerFrame;
    BandRing ring(int(bands), m_slicesPerBand, int(std::min<long long>((long long)slotCount, bands)), bandBytes);
    {
        std::lock_guard lock(m_mutex);
        m_ring = &ring;
        if (m_cancelled)
            ring.cancel();
    }
    WorkerThreads workers(m_threads, [&] { work(ring); }, [&] { ring.cancel(); });
    bool written = false;
    {
        const CancelRingOnExit cancel{ring};
        // Where no worker could start, this thread computes each band
        // before writing it.
        written = write(ring, sink, workers.started() == 0);
    }
    workers.join();
    {
        std::lock_guard lock(m_mutex);
        m_ring = nullptr;
    }
    workers.rethrowFailure();
    return written && !m_cancelled;
}

void FilmRender::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    if (m_ring)
        m_ring->cancel();
}

std::shared_ptr<FilmRender::Slot> FilmRender::slotFor(int frame)
{
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard lock(m_mutex);
        std::shared_ptr<Slot> &held = m_slots[std::size_t(frame - m_firstFrame)];
        if (!held)
            held = std::make_shared<Slot>();
        slot = held;
    }
    std::call_once(slot->built, [&] { slot->computer = m_computerAt(frame); });
    return slot;
}

void FilmRender::release(int frame)
{
    std::lock_guard lock(m_mutex);
    m_slots[std::size_t(frame - m_firstFrame)].reset();
}

void FilmRender::work(BandRing &ring)
{
    while (const auto piece = ring.claim())
        compute(*piece, ring);
}

void FilmRender::compute(const BandRing::Piece &piece, BandRing &ring)
{
    const int frame = m_firstFrame + piece.band / m_bandsPerFrame;
    const int first = piece.band % m_bandsPerFrame * m_bandRows;
    const int rows = std::min(m_bandRows, m_height - first);
    slotFor(frame)->computer->computePiece(first, rows, piece.slice, m_slicesPerBand, piece.pixels);
    ring.pieceDone(piece.band);
}

bool FilmRender::write(BandRing &ring, FrameSink &sink, bool computeHere)
{
    bool ok = true;
    int framesDone = 0;
    for (long long band = 0; ok && framesDone < m_frames; ++band) {
        // With no worker claiming, the next pieces are all of this band.
        for (int k = 0; computeHere && k < m_slicesPerBand; ++k) {
            if (const auto piece = ring.claim())
                compute(*piece, ring);
        }
        const auto pixels = ring.nextBand();
        if (!pixels)
            break;
        const int frame = m_firstFrame + int(band / m_bandsPerFrame);
        const int first = int(band % m_bandsPerFrame) * m_bandRows;
        ok = (first > 0 || sink.beginFrame(frame)) && sink.writeRows(*pixels, std::min(m_bandRows, m_height - first));
        ring.bandWritten();
        if (ok && first + m_bandRows >= m_height) {
            release(frame);
            ok = sink.endFrame();
            ++framesDone;
            if (ok && m_progress)
                m_progress(framesDone, m_frames);
        }
    }
    // Stops the workers too when the sink failed.
    ring.cancel();
    return ok && framesDone == m_frames;
}
