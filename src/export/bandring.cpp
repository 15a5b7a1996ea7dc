#include "export/bandring.h"

BandRing::BandRing(int bands, int slicesPerBand, int slots, std::size_t bandBytes)
    : m_bands(bands),
      m_slicesPerBand(slicesPerBand),
      m_slots(slots),
      m_bandBytes(bandBytes),
      m_memory(new std::uint8_t[std::size_t(slots) * bandBytes]),
      m_piecesLeft(std::size_t(slots), slicesPerBand)
{
}

std::optional<BandRing::Piece> BandRing::claim()
{
    std::unique_lock lock(m_mutex);
    const long long piece = m_nextPiece;
    const int band = int(piece / m_slicesPerBand);
    if (m_cancelled || band >= m_bands)
        return std::nullopt;
    ++m_nextPiece;
    m_slotFree.wait(lock, [&] { return m_cancelled || band < m_written + m_slots; });
    if (m_cancelled)
        return std::nullopt;
    const std::size_t slot = std::size_t(band % m_slots);
    return Piece{band, int(piece % m_slicesPerBand), m_memory.get() + slot * m_bandBytes};
}

void BandRing::pieceDone(int band)
{
    std::lock_guard lock(m_mutex);
    if (--m_piecesLeft[std::size_t(band % m_slots)] == 0)
        m_bandDone.notify_all();
}

std::optional<const std::uint8_t *> BandRing::nextBand()
{
    std::unique_lock lock(m_mutex);
    const std::size_t slot = std::size_t(m_written % m_slots);
    m_bandDone.wait(lock, [&] { return m_cancelled || m_written >= m_bands || m_piecesLeft[slot] == 0; });
    if (m_cancelled || m_written >= m_bands)
        return std::nullopt;
    return m_memory.get() + slot * m_bandBytes;
}

void BandRing::bandWritten()
{
    std::lock_guard lock(m_mutex);
    m_piecesLeft[std::size_t(m_written % m_slots)] = m_slicesPerBand;
    ++m_written;
    m_slotFree.notify_all();
}

void BandRing::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_slotFree.notify_all();
    m_bandDone.notify_all();
}
