#pragma once

#include "export/bandcomputer.h"
#include "export/bandring.h"

#include <QString>

#include <functional>
#include <memory>

class PngBandWriter;

// Renders rows firstRow..lastRow of a picture into a PngBandWriter: one
// worker per hardware thread computes pieces of bands, this thread
// compresses the bands in order (and computes them too where no worker can
// start). The bands in memory take at most twice their budget (BandBytes
// unless given) per worker, whatever the size.
class PosterRender
{
public:
    using Progress = std::function<void(int rowsDone, int rowsTotal)>; // called by the writer thread

    static constexpr std::size_t BandBytes = std::size_t(2) << 20;

    // An N × N picture's rows, column slices at a time. bandBytes other than
    // BandBytes only to try the ring with many small bands.
    PosterRender(const PosterFrame &frame, int firstRow, int lastRow, std::size_t bandBytes = BandBytes);
    // Any frame's rows, width indices each, as computer's pieces; a smaller
    // bandBytes where the computer itself holds much memory.
    PosterRender(std::unique_ptr<FrameComputer> computer, int width, int firstRow, int lastRow,
                 std::size_t bandBytes = BandBytes);

    void setThreads(int threads) { m_threads = threads; }
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // False when the writer failed; its reason is then in writer.error().
    bool run(PngBandWriter &writer);

    // Rows of one band: as many as fit into BandBytes but at most 64, so
    // that the writer has little left once the workers are done; at least one.
    static int bandRows(int size, int rows, std::size_t bandBytes = BandBytes);
    // Processor time the writer thread spent compressing and writing.
    double writerSeconds() const { return m_writerSeconds; }

private:
    void work(BandRing &ring) const;
    void workOneBand(BandRing &ring) const;
    void compute(const BandRing::Piece &piece, BandRing &ring) const;
    bool write(BandRing &ring, PngBandWriter &writer, bool computeHere);

    std::unique_ptr<FrameComputer> m_computer;
    int m_width;
    int m_firstRow;
    int m_rows;
    int m_bandRows;
    int m_slicesPerBand;
    std::size_t m_bandBudget;
    int m_threads;
    Progress m_progress;
    double m_writerSeconds = 0;
};
