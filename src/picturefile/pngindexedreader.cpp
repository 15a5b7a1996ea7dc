#include "picturefile/pngindexedreader.h"

#include "picturefile/pngreadsession.h"

#include <algorithm>

namespace {

// Room for chunk framing, the zlib header and the chunks after the pixels.
constexpr qint64 PixelSlack = 64 << 10;
constexpr int PaletteColourType = PNG_COLOR_TYPE_PALETTE;
constexpr int IndexBits = 8;

std::vector<std::uint32_t> paletteOf(png_structp png, png_infop info)
{
    png_colorp entries = nullptr;
    int count = 0;
    std::vector<std::uint32_t> palette;
    if (png_get_PLTE(png, info, &entries, &count) != PNG_INFO_PLTE)
        return palette;
    for (int k = 0; k < count; ++k)
        palette.push_back(std::uint32_t(entries[k].red) << 16 | std::uint32_t(entries[k].green) << 8
                          | entries[k].blue);
    return palette;
}

std::optional<PngIndexedPicture> refused(QString *whyNot, const QString &reason)
{
    if (whyNot)
        *whyNot = reason;
    return std::nullopt;
}

} // namespace

std::optional<PngIndexedPicture> readPngIndexed(QIODevice &device, qint64 maxPixels, QString *whyNot)
{
    PngReadSession session(device);
    if (!session.readInfo())
        return refused(whyNot, session.reason());
    PngIndexedPicture picture;
    picture.width = int(png_get_image_width(session.png(), session.info()));
    picture.height = int(png_get_image_height(session.png(), session.info()));
    if (png_get_color_type(session.png(), session.info()) != PaletteColourType
        || png_get_bit_depth(session.png(), session.info()) != IndexBits)
        return refused(whyNot, QStringLiteral("Das Bild hat keine Farbtabelle mit 8 Bit je Punkt."));
    if (qint64(picture.width) * picture.height > maxPixels)
        return refused(whyNot, QStringLiteral("Das Bild ist größer, als es sein darf."));
    picture.palette = paletteOf(session.png(), session.info());
    const qint64 rawBytes = qint64(picture.width + 1) * picture.height;
    if (!session.readIndexedRows(picture.indices, 2 * rawBytes + PixelSlack))
        return refused(whyNot, session.reason());
    const std::uint8_t highest = *std::max_element(picture.indices.begin(), picture.indices.end());
    if (picture.palette.empty() || highest >= picture.palette.size())
        return refused(whyNot, QStringLiteral("Die Bildpunkte verweisen auf Farben, die die Farbtabelle nicht hat."));
    return picture;
}
