#pragma once

#include <cstdint>

// Computes a frame's bands as palette indices F0..F7, piece by piece, for
// any number of threads at once: piece `piece` of `pieces` of the band of
// `rows` rows from row `first` goes into `band` (the frame's width of
// indices per row, the band's top row first). Pieces of one band write
// disjoint pixels, so they may run in any order on any thread.
class FrameComputer
{
public:
    virtual ~FrameComputer() = default;
    virtual void computePiece(int first, int rows, int piece, int pieces, std::uint8_t *band) const = 0;
};
