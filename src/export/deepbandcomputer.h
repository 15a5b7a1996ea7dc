#pragma once

#include "deep/viewcounter.h"
#include "export/framecomputer.h"

#include <cstdint>

// A frame of a view by centre and width: its counts are ViewCounter's, as a
// still of the same view draws them (the deep kernel below the depth where
// doubles hold the view, else punkt_iteration at the pixels' points). The
// reference orbit is computed once, when the frame is constructed.
class DeepBandComputer : public FrameComputer
{
public:
    DeepBandComputer(const DeepView &view, std::int64_t imax, bool cycle);

    // Whether the deep kernel counts (see ViewCounter).
    bool deep() const { return m_counter.deep(); }

    // A piece is a run of whole rows: the kernel counts a row at a time.
    void computePiece(int first, int rows, int piece, int pieces, std::uint8_t *band) const override;

private:
    ViewCounter m_counter;
    int m_width;
    bool m_cycle;
};
