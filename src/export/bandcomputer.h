#pragma once

#include "export/framecomputer.h"
#include "export/posterpixels.h"

#include <cstdint>
#include <vector>

// Computes rows of an N × N picture as palette indices F0..F7: column by
// column, since the points of a column share their real part and the column
// kernel (with its cycle check) runs them together. Safe to share between
// threads: it keeps no state beyond the frame.
class BandComputer : public FrameComputer
{
public:
    explicit BandComputer(const PosterFrame &frame);

    // Palette indices of columns [fromColumn, toColumn) of the band of `rows`
    // rows starting at row `first`, into `band` (size() indices per row, the
    // band's top row first).
    void computeSlice(int first, int rows, int fromColumn, int toColumn, std::uint8_t *band) const;

    // A piece is a slice of columns.
    void computePiece(int first, int rows, int piece, int pieces, std::uint8_t *band) const override;

    const PosterFrame &frame() const { return m_frame; }

private:
    std::vector<double> rowImags(int first, int rows) const;
    const Section &section() const { return m_frame.drawing.section; }

    PosterFrame m_frame;
    std::vector<std::uint8_t> m_swatchOfCount; // for counts 0 .. max(imax, 0)
};
