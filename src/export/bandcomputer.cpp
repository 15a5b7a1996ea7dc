#include "export/bandcomputer.h"

#include "core/columnkernel.h"
#include "core/swatchtable.h"

#include <algorithm>

BandComputer::BandComputer(const PosterFrame &frame)
    : m_frame(frame)
{
    // A count never exceeds imax, and a look-up beats the table's search for
    // every one of up to 2³² pixels.
    for (int count = 0; count <= std::max<int>(frame.drawing.imax, 0); ++count)
        m_swatchOfCount.push_back(std::uint8_t(swatchForCount(count, frame.cycle)));
}

std::vector<double> BandComputer::rowImags(int first, int rows) const
{
    std::vector<double> cy(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        cy[size_t(r)] = posterImag(section().y0, section().y1, first + r, m_frame.rows());
    return cy;
}

// The counts of a few columns are kept and then written row by row: stored
// one column at a time, the band's rows lie a whole row apart and map to the
// same few cache sets, which made the slice 14 % slower than its kernel.
// The columns go to the kernel as one list, so its lanes refill across them.
// Rows go in pieces of the same height at every size, so that the kernel and
// the caches see the same lists whether the picture is small or huge.
void BandComputer::computeSlice(int first, int rows, int fromColumn, int toColumn, std::uint8_t *band) const
{
    constexpr int GroupColumns = 32;
    constexpr int PieceRows = 64;
    const std::vector<double> rowCy = rowImags(first, rows);
    const std::size_t groupPoints = std::size_t(std::min(rows, PieceRows)) * GroupColumns;
    std::vector<double> cx(groupPoints);
    std::vector<double> cy(groupPoints);
    std::vector<std::int16_t> counts(groupPoints);
    const std::size_t width = std::size_t(m_frame.size);
    for (int top = 0; top < rows; top += PieceRows) {
        const int pieceRows = std::min(PieceRows, rows - top);
        for (int group = fromColumn; group < toColumn; group += GroupColumns) {
            const int columns = std::min(GroupColumns, toColumn - group);
            for (int c = 0; c < columns; ++c) {
                const double real = posterReal(section().x0, section().x1, group + c, m_frame.size);
                const std::ptrdiff_t start = std::ptrdiff_t(c) * pieceRows;
                std::fill_n(cx.begin() + start, pieceRows, real);
                std::copy_n(rowCy.begin() + top, pieceRows, cy.begin() + start);
            }
            computePoints(cx.data(), cy.data(), columns * pieceRows, m_frame.drawing.imax, counts.data(),
                          KernelPath::Best, CycleCheck::On);
            for (int r = 0; r < pieceRows; ++r) {
                std::uint8_t *row = band + std::size_t(top + r) * width + std::size_t(group);
                for (int c = 0; c < columns; ++c)
                    row[c] = m_swatchOfCount[std::size_t(counts[std::size_t(c * pieceRows + r)])];
            }
        }
    }
}

void BandComputer::computePiece(int first, int rows, int piece, int pieces, std::uint8_t *band) const
{
    const int from = int(std::int64_t(m_frame.size) * piece / pieces);
    const int to = int(std::int64_t(m_frame.size) * (piece + 1) / pieces);
    computeSlice(first, rows, from, to, band);
}
