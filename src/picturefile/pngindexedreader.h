#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QIODevice;

// An 8-bit palette PNG, whole.
struct PngIndexedPicture
{
    int width = 0, height = 0;
    std::vector<std::uint32_t> palette; // 0xRRGGBB, the PLTE's entries in order
    std::vector<std::uint8_t> indices;  // width × height, row by row from the top
};

// Reads a palette PNG of 8 bits per pixel and at most `maxPixels` pixels,
// distrusting it like readPngTexts, and its pixel data at most twice their
// raw size, so that a small file that inflates to gigabytes is refused
// early. The zlib stream must end with the last row. Every index is
// checked against the PLTE. On failure nullopt and a German reason, e.g.
// "Die Bildpunkte sind beschädigt oder unvollständig."
std::optional<PngIndexedPicture> readPngIndexed(QIODevice &device, qint64 maxPixels, QString *whyNot);
