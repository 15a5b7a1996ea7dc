#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The bands between the workers and the writer: a fixed ring of slots, so
// memory stays the same whatever the picture's size. Workers claim pieces of
// work (a slice of columns of a band) in order; a piece of band b is handed
// out only once band b − slots has been written, so a slow writer holds the
// workers back instead of letting bands pile up. The writer takes the bands
// in order as they complete.
class BandRing
{
public:
    struct Piece
    {
        int band;
        int slice;
        std::uint8_t *pixels; // the band's slot
    };

    BandRing(int bands, int slicesPerBand, int slots, std::size_t bandBytes);

    // The next piece, waiting for a free slot; nullopt when all are handed
    // out or the ring was cancelled.
    std::optional<Piece> claim();
    void pieceDone(int band);

    // The next band in order once all its pieces are done (waiting for them),
    // nullopt when cancelled or past the last band.
    std::optional<const std::uint8_t *> nextBand();
    // The band from nextBand() is written: its slot is free again.
    void bandWritten();

    void cancel();

private:
    std::mutex m_mutex;
    std::condition_variable m_slotFree;
    std::condition_variable m_bandDone;
    const int m_bands;
    const int m_slicesPerBand;
    const int m_slots;
    const std::size_t m_bandBytes;
    std::unique_ptr<std::uint8_t[]> m_memory; // not zeroed: every byte is computed before it is written out
    std::vector<int> m_piecesLeft; // per slot
    long long m_nextPiece = 0;
    int m_written = 0;
    bool m_cancelled = false;
};

// Cancels the ring when it goes out of scope, however that happens (an
// exception too), so that no worker waits for a writer that has gone.
struct CancelRingOnExit
{
    BandRing &ring;
    ~CancelRingOnExit() { ring.cancel(); }
};
