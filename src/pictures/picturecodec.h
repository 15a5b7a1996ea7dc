#pragma once

#include "core/drawing.h"
#include "picturefile/windowrecord.h"

#include <QImage>
#include <QString>

#include <optional>

class QIODevice;

// The surface's picture as a PNG file and back. The file is 8-bit indexed,
// 400 × 400; undrawn pixels take the window's background colour, as on the
// screen. Its text chunks record the run: the section (shortest round trip,
// full stop), Imax, the palette, the five field texts, whether the picture
// is complete, the counters, and the program's name and version.
namespace PictureCodec {

// What a file brings back: its record as the fields can hold it
// (see windowRecordFromTexts), and what they could not.
struct Contents
{
    PictureRecord record;
    bool deepView = false;
    std::optional<std::int64_t> imaxBeyondField;
    // 400 × 400, ARGB32 premultiplied, undrawn pixels transparent again;
    // nullopt for an export of another size or an Imax beyond the field,
    // whose texts alone apply.
    std::optional<QImage> picture;
};

// `picture` as the surface holds it. False with a German reason when the
// device refuses a write or the picture has more than 256 colours.
bool write(QIODevice &device, const QImage &picture, const PictureRecord &record, QString *whyNot);

// Distrusts the file: a German reason where it is no picture of Quirlbau's
// (no PNG, damaged, truncated, another size, values that are no numbers).
std::optional<Contents> read(QIODevice &device, QString *whyNot);

// The section and Imax as the file records them, one "name = value" line
// each: "X0 = -1.4025\nX1 = -1.402\nY0 = 0\nY1 = 0.0005\nImax = 300".
QString sectionText(const Drawing &record);

} // namespace PictureCodec
