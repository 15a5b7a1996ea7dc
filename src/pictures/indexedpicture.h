#pragma once

#include <QImage>
#include <QRgb>

#include <optional>
#include <vector>

// The surface's picture at one byte a pixel and back, exactly: it holds a
// few opaque colours and transparent undrawn pixels.
namespace IndexedPicture {

// `picture` in any 32-bit format whose pixels are opaque or transparent;
// transparent ones become `undrawn`. The colour table starts with
// `leading` (repeats dropped), then every other colour in the order it
// first appears, row by row. nullopt beyond 256 colours.
//   fromPicture(p, qRgba(0, 0, 0, 0))   for the history: undrawn stays transparent
//   fromPicture(p, background, swatches) for a file: undrawn takes the window's colour
std::optional<QImage> fromPicture(const QImage &picture, QRgb undrawn,
                                  const std::vector<QRgb> &leading = {});

// Format_ARGB32_Premultiplied, as the surface holds it.
QImage toPicture(const QImage &indexed);

} // namespace IndexedPicture
