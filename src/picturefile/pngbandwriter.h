#pragma once

#include "picturefile/picturerecord.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// An 8-bit indexed PNG (a palette of up to 256 RGB colours), written band by
// band through `sink`, with the text chunks ahead of the pixel data so that
// a reader finds them before the first IDAT. Memory does not grow with the
// picture: each band is compressed and handed to the sink at once.
//   PngBandWriter png(sink, 400, 400, {0xFF0000, 0xFFFF00}, texts);
//   png.writeRows(band, 16); ... png.finish();
class PngBandWriter
{
public:
    using Sink = std::function<bool(const char *data, std::size_t size)>; // false: the write failed

    // Texts of plain ASCII go into tEXt chunks, all others into uncompressed
    // iTXt (UTF-8). compressionLevel: zlib's 0..9.
    PngBandWriter(Sink sink, int width, int height, const std::vector<std::uint32_t> &rgbPalette,
                  const PictureTexts &texts, int compressionLevel = 6);
    ~PngBandWriter();
    PngBandWriter(const PngBandWriter &) = delete;
    PngBandWriter &operator=(const PngBandWriter &) = delete;

    // `width` palette indices per row, top row first. False once anything
    // failed, or when more rows come than the height.
    bool writeRows(const std::uint8_t *indices, int rows);
    // After the last row; false when rows are missing or a write failed.
    bool finish();
    // Why a call returned false, in German.
    QString error() const;

private:
    struct Png;
    std::unique_ptr<Png> m_png;
};
