#pragma once

#include <QString>

#include <cstdint>

// Where the frames of a film go, row by row as palette indices, frame after
// frame in order; called by one thread only (the writer).
class FrameSink
{
public:
    virtual ~FrameSink() = default;

    // Frame number `frame` of the whole film begins.
    virtual bool beginFrame(int frame) = 0;
    // `rows` rows of the frame's width, top row first.
    virtual bool writeRows(const std::uint8_t *indices, int rows) = 0;
    virtual bool endFrame() = 0;
    // Why a call returned false, in German.
    virtual QString error() const = 0;
};
