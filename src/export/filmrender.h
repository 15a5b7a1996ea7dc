#pragma once

#include "export/bandring.h"
#include "export/framecomputer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class BandRing;
class FrameSink;

// Renders frames first..last of a film into a FrameSink with the export's
// machinery: one worker per hardware thread computes slices of bands, one
// writer thread hands the bands to the sink in order. The bands of all
// frames form one stream through one ring, so the workers go on into the
// next frame while the writer still sends the last one, and memory stays
// that of a few bands whatever the film's length or size.
class FilmRender
{
public:
    // Frame k's computer, made when its first piece is claimed: any thread, any order.
    using ComputerAt = std::function<std::unique_ptr<FrameComputer>(int frame)>;
    using Progress = std::function<void(int framesDone, int framesTotal)>; // called by the thread that runs run()

    FilmRender(ComputerAt computerAt, int firstFrame, int lastFrame, int width, int height);
    ~FilmRender();

    void setThreads(int threads) { m_threads = threads; }
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // At most this many frames' bands in the ring at once (0: as many as
    // the ring's memory allows): each frame being computed holds its
    // computer, and a deep frame's holds a reference orbit.
    void setFramesAhead(int frames) { m_framesAhead = frames; }

    // False when the sink failed (its reason in sink.error()) or on cancel().
    bool run(FrameSink &sink);
    // From any thread: the workers and the writer stop soon.
    void cancel();

private:
    struct Slot;
    std::shared_ptr<Slot> slotFor(int frame);
    void release(int frame);
    void work(BandRing &ring);
    void compute(const BandRing::Piece &piece, BandRing &ring);
    bool write(BandRing &ring, FrameSink &sink, bool computeHere);

    ComputerAt m_computerAt;
    int m_firstFrame;
    int m_frames;
    int m_width;
    int m_height;
    int m_bandRows;
    int m_bandsPerFrame;
    int m_slicesPerBand;
    int m_threads;
    int m_framesAhead = 0;
    Progress m_progress;
    std::mutex m_mutex; // m_slots, m_ring
    std::vector<std::shared_ptr<Slot>> m_slots; // per frame while it is being computed
    BandRing *m_ring = nullptr;
    std::atomic<bool> m_cancelled{false};
};
