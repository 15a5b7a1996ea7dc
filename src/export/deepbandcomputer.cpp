#include "export/deepbandcomputer.h"

#include "core/swatchtable.h"

#include <vector>

DeepBandComputer::DeepBandComputer(const DeepView &view, std::int64_t imax, bool cycle)
    : m_counter(view, imax), m_width(view.pixelsWide()), m_cycle(cycle)
{
}

void DeepBandComputer::computePiece(int first, int rows, int piece, int pieces, std::uint8_t *band) const
{
    const int from = int(std::int64_t(rows) * piece / pieces);
    const int to = int(std::int64_t(rows) * (piece + 1) / pieces);
    std::vector<std::int64_t> counts(std::size_t(m_width), 0);
    DeepWork done;
    for (int row = from; row < to; ++row) {
        m_counter.countRow(first + row, counts.data(), done);
        std::uint8_t *out = band + std::size_t(row) * std::size_t(m_width);
        for (int p = 0; p < m_width; ++p)
            out[p] = std::uint8_t(swatchForCount(int(counts[std::size_t(p)]), m_cycle));
    }
}
